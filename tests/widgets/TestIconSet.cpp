#include <QImage>
#include <QSet>
#include <QTest>

// Every picture the windows name must be in the program and show something: not missing,
// not blank, not one flat colour.
class TestIconSet : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        const QSize any;
        const QList<QPair<QString, QSize>> names {
            { "logo.png", any },
            { "logo_login.png", any },
            { "favicon.ico", any },
            { "avatar_1.png", any },
            { "warnning.png", any },
            { "close_normal.png", { 25, 25 } },
            { "close_hover.png", { 25, 25 } },
            { "min_normal.png", { 25, 25 } },
            { "min_hover.png", { 25, 25 } },
            { "max_normal.png", { 25, 25 } },
            { "recover.png", { 25, 25 } },
            { "close_dia.png", { 25, 25 } },
            { "top_xiala.png", { 20, 60 } },
            { "top_avatar.png", { 20, 20 } },
            { "top_faq.png", { 20, 20 } },
            { "checkbox_normal.png", { 16, 16 } },
            { "checkbox_hover.png", { 16, 16 } },
            { "checkbox_checked.png", { 16, 16 } },
            { "radio_normal.png", { 16, 16 } },
            { "radio_checked.png", { 16, 16 } },
            { "drop.png", any },
            { "tree/branch-closed.png", any },
            { "tree/branch-open.png", any },
            { "tree/vline.png", any },
            { "tree/branch-more.png", any },
            { "tree/branch-end.png", any },
        };
        for (const auto& n : names)
            QTest::newRow(qPrintable(n.first)) << ":/images/" + n.first << n.second;
        for (const char* key : { "itemlist", "uplist", "ticheng", "sysmsg" }) {
            for (const char* state : { "_normal", "_hover" }) {
                const QString name = QString(key) + state + ".png";
                QTest::newRow(qPrintable(name)) << ":/images/" + name << QSize(20, 20);
            }
        }
        for (int frame = 1; frame <= 8; ++frame) {
            const QString name = QString("loading/%1.png").arg(frame);
            QTest::newRow(qPrintable(name)) << ":/images/" + name << QSize(48, 48);
        }
        for (const char* key : { "audio", "doc", "excel", "kux", "pdf", "pic", "ppt", "qlv", "qsv", "tar", "video" }) {
            const QString name = QString("t/%1.png").arg(key);
            QTest::newRow(qPrintable(name)) << ":/images/" + name << QSize(20, 20);
        }
    }

    void pictures()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        if (size.isValid())
            QCOMPARE(image.size(), size);
        QSet<QRgb> colours;
        int opaque = 0;
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            for (int x = 0; x < argb.width(); ++x) {
                const QRgb px = argb.pixel(x, y);
                colours.insert(px);
                if (qAlpha(px) > 128)
                    ++opaque;
            }
        }
        QVERIFY2(colours.size() >= 2, qPrintable(path + " is one flat colour"));
        QVERIFY2(opaque > 0, qPrintable(path + " is blank"));
    }

    void menuStatesDiffer()
    {
        for (const char* key : { "itemlist", "uplist", "ticheng", "sysmsg" }) {
            const QImage normal(QString(":/images/%1_normal.png").arg(key));
            const QImage hover(QString(":/images/%1_hover.png").arg(key));
            QVERIFY2(normal != hover, key);
        }
    }
};

QTEST_MAIN(TestIconSet)
#include "TestIconSet.moc"
