#pragma once

#include <QDialog>

class QLabel;
class QTimer;

// The busy indicator: a small frameless picture that cycles through eight frames.
class Loading : public QDialog
{
    Q_OBJECT

public:
    static Loading* instance();

    // On: show and start the animation; off: stop, go back to the first frame and hide.
    void display(bool on);

    int frame() const { return frameNumber; }
    static QString framePath(int frame);

private:
    explicit Loading(QWidget* parent = nullptr);
    void showFrame();
    void advance();

    QLabel* picture = nullptr;
    QTimer* timer = nullptr;
    int frameNumber = 1;
};
