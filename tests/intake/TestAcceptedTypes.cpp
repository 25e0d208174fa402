// The empty-state panel's help says exactly which files are taken: every suffix a drop
// accepts, and nothing the program refuses.

#include "intake/FileTypes.h"
#include "ui/MyBtnformWidget.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBrowser>

class TestAcceptedTypes : public QObject
{
    Q_OBJECT

private slots:
    void helpTextEqualsTheRules()
    {
        MyBtnformWidget panel;
        auto* help = panel.findChild<QTextBrowser*>("beizhu");
        QVERIFY(help);
        const QString text = help->toPlainText();
        const int from = text.indexOf("可上传的资料：");
        QVERIFY(from >= 0);
        const QString line = text.mid(from, text.indexOf('\n', from) - from);

        QSet<QString> told;
        auto groups = QRegularExpression("（([^）]*)）").globalMatch(line);
        while (groups.hasNext()) {
            for (const QString& ext : groups.next().captured(1).split("、"))
                told.insert(ext);
        }
        // What a drop takes: the last suffix, so "tar.gz" is not among them.
        QSet<QString> accepted;
        for (const QString& ext : allowedSuffixes()) {
            if (!ext.contains('.'))
                accepted.insert(ext);
        }
        QCOMPARE(told, accepted);
        QVERIFY2(!line.contains("WPS"), qPrintable(line));
    }
};

QTEST_MAIN(TestAcceptedTypes)
#include "TestAcceptedTypes.moc"
