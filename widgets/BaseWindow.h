#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>

// Frameless top-level window: paints its own white panel with a soft shadow and lets the
// user move it by dragging and resize it by its edges (when resizable).
class BaseWindow : public QDialog
{
    Q_OBJECT

public:
    explicit BaseWindow(QWidget* parent = nullptr);

    void setResizable(bool on) { resizable = on; }
    bool isResizable() const { return resizable; }

    // Region of a point in a window of the given size: row (10 top, 20 middle, 30 bottom)
    // plus column (1 left, 2 middle, 3 right); 22 is the inside.
    static int regionCode(const QPoint& pos, const QSize& size);

    // Geometry after dragging the edges named by `region` by `delta`. An edge moves
    // outward always; inward it stops where the window reaches its minimum size, the
    // opposite edge never moves.
    static QRect resizedGeometry(const QRect& geometry, int region, const QPoint& delta, const QSize& minimum);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // Whether a press anywhere in the window starts a move; false limits it to the top
    // 66 px (the title or top bar).
    virtual bool dragAnywhere() { return true; }

    bool resizable = false;

private:
    void updateCursor(int region);

    QPoint dragOffset;
    bool moving = false;
    int pressedRegion = 22;
    QPoint lastGlobalPos;
    bool pressed = false;
};
