#pragma once

#include <QObject>
#include <QString>

class QLabel;

// Keeps a label's text elided ("…" at the right) to the width the layout gives the label:
// the full text is kept (callers show it as the tool tip), and the label is elided again each time
// it is resized, so the first layout pass and every window resize are both met.
class ElideOnResize : public QObject
{
    Q_OBJECT

public:
    // Sets the full text of `label` and keeps it elided from now on.
    static void setText(QLabel* label, const QString& fullText);
    // The text a label of this font and width shows for `fullText`.
    static QString elided(const QLabel* label, const QString& fullText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ElideOnResize(QLabel* label);
    static void apply(QLabel* label);
};
