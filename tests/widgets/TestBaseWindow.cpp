#include "widgets/BaseDialog.h"
#include "widgets/BaseWidget.h"
#include "widgets/BaseWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace {

// Like the main window: only the top band drags.
class TopBandWindow : public BaseWindow
{
protected:
    bool dragAnywhere() override { return false; }
};

void sendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, local, w->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Drags from a window point by `delta` (in screen coordinates) in one move.
void drag(QWidget* w, QPoint from, QPoint delta)
{
    sendMouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    const QPoint global = w->mapToGlobal(from) + delta;
    QMouseEvent move(QEvent::MouseMove, w->mapFromGlobal(global), global, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    sendMouse(w, QEvent::MouseButtonRelease, w->mapFromGlobal(global), Qt::LeftButton, Qt::NoButton);
}

QImage paintOf(QWidget* w)
{
    QImage image(w->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w->render(&image);
    return image;
}

} // namespace

class TestBaseWindow : public QObject
{
    Q_OBJECT

private slots:
    void regionCodes_data()
    {
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<int>("code");
        // Window 200 x 100.
        QTest::newRow("top-left corner") << QPoint(0, 0) << 11;
        QTest::newRow("top edge") << QPoint(100, 5) << 12;
        QTest::newRow("top-right corner") << QPoint(196, 0) << 13;
        QTest::newRow("left edge, last pixel") << QPoint(5, 50) << 21;
        QTest::newRow("inside, first pixel past left band") << QPoint(6, 50) << 22;
        QTest::newRow("inside, first pixel below top band") << QPoint(100, 6) << 22;
        QTest::newRow("inside, last pixel before right band") << QPoint(195, 50) << 22;
        QTest::newRow("right edge starts 4 px from the side") << QPoint(196, 50) << 23;
        QTest::newRow("bottom-left corner") << QPoint(2, 96) << 31;
        QTest::newRow("inside, last pixel before bottom band") << QPoint(100, 95) << 22;
        QTest::newRow("bottom edge") << QPoint(100, 99) << 32;
        QTest::newRow("bottom-right corner") << QPoint(199, 99) << 33;
    }

    void regionCodes()
    {
        QFETCH(QPoint, pos);
        QFETCH(int, code);
        QCOMPARE(BaseWindow::regionCode(pos, QSize(200, 100)), code);
    }

    void resizeRule_data()
    {
        QTest::addColumn<int>("region");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<QRect>("expected");
        // Start: x 100, y 50, 1012 x 700; minimum 1002 x 662.
        QTest::newRow("left edge shrinks down to the minimum, right edge fixed")
            << 21 << QPoint(30, 0) << QRect(110, 50, 1002, 700);
        QTest::newRow("left edge grows freely") << 21 << QPoint(-40, 0) << QRect(60, 50, 1052, 700);
        QTest::newRow("right edge shrinks down to the minimum") << 23 << QPoint(-30, 0) << QRect(100, 50, 1002, 700);
        QTest::newRow("top edge shrinks down to the minimum, bottom fixed")
            << 12 << QPoint(0, 100) << QRect(100, 88, 1012, 662);
        QTest::newRow("bottom edge grows") << 32 << QPoint(0, 20) << QRect(100, 50, 1012, 720);
        QTest::newRow("bottom-right corner moves both") << 33 << QPoint(8, -8) << QRect(100, 50, 1020, 692);
        QTest::newRow("top-left corner clamps both") << 11 << QPoint(50, 50) << QRect(110, 88, 1002, 662);
        QTest::newRow("horizontal edge ignores vertical motion") << 23 << QPoint(5, 99) << QRect(100, 50, 1017, 700);
        QTest::newRow("inside changes nothing") << 22 << QPoint(50, 50) << QRect(100, 50, 1012, 700);
    }

    void resizeRule()
    {
        QFETCH(int, region);
        QFETCH(QPoint, delta);
        QFETCH(QRect, expected);
        QCOMPARE(BaseWindow::resizedGeometry(QRect(100, 50, 1012, 700), region, delta, QSize(1002, 662)), expected);
    }

    void leftEdgeDragStopsAtMinimumWidth()
    {
        BaseWindow w;
        w.setResizable(true);
        w.setMinimumSize(1002, 662);
        w.setGeometry(100, 100, 1012, 662);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int right = w.geometry().right();

        drag(&w, QPoint(2, 300), QPoint(40, 0));
        QCOMPARE(w.width(), 1002);
        QCOMPARE(w.geometry().right(), right);

        drag(&w, QPoint(2, 300), QPoint(-60, 0));
        QCOMPARE(w.width(), 1062);
        QCOMPARE(w.geometry().right(), right);
    }

    void notResizableIgnoresEdges()
    {
        BaseWindow w;
        w.setGeometry(100, 100, 400, 300);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        drag(&w, QPoint(398, 150), QPoint(50, 0));
        QCOMPARE(w.geometry(), QRect(100, 100, 400, 300));
    }

    void dragBand()
    {
        TopBandWindow main;
        main.setGeometry(100, 100, 400, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        drag(&main, QPoint(200, 150), QPoint(30, 20));
        QCOMPARE(main.pos(), QPoint(100, 100));
        drag(&main, QPoint(200, 30), QPoint(30, 20));
        QCOMPARE(main.pos(), QPoint(130, 120));

        BaseWindow login;
        login.setGeometry(100, 100, 400, 300);
        login.show();
        QVERIFY(QTest::qWaitForWindowExposed(&login));
        drag(&login, QPoint(200, 250), QPoint(-20, 10));
        QCOMPARE(login.pos(), QPoint(80, 110));
    }

    void panelAndShadow()
    {
        BaseWindow w;
        w.resize(200, 120);
        const QImage image = paintOf(&w);
        QCOMPARE(image.pixelColor(100, 60), QColor(Qt::white));
        QCOMPARE(image.pixelColor(8, 60), QColor(Qt::white));
        // The outermost pixel is clear, the shadow darkens towards the panel.
        QVERIFY(image.pixelColor(0, 60).alpha() < image.pixelColor(4, 60).alpha());
        QVERIFY(image.pixelColor(4, 60).alpha() > 0);
    }

    void dialogLines()
    {
        BaseDialog d;
        d.resize(400, 300);
        const QImage image = paintOf(&d);
        const QColor line("#dcdcdc");
        QCOMPARE(image.pixelColor(200, BaseDialog::kTitleLineY), line);
        QCOMPARE(image.pixelColor(7, BaseDialog::kTitleLineY), line);
        QCOMPARE(image.pixelColor(200, 300 - 58), line);
        QCOMPARE(image.pixelColor(200, BaseDialog::kTitleLineY + 1), QColor(Qt::white));
        QCOMPARE(image.pixelColor(200, 150), QColor(Qt::white));
        // The lines stay inside the panel.
        QVERIFY(image.pixelColor(2, BaseDialog::kTitleLineY) != line);
    }

    void widgetBaseAppliesStyleBackground()
    {
        BaseWidget styled;
        styled.setStyleSheet("background: #01945d;");
        styled.resize(40, 40);
        QCOMPARE(paintOf(&styled).pixelColor(20, 20), QColor("#01945d"));
    }
};

QTEST_MAIN(TestBaseWindow)
#include "TestBaseWindow.moc"
