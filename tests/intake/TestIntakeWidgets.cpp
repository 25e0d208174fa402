#include "IntakeTestKit.h"
#include "intake/DropIntake.h"
#include "intake/ElideLabel.h"
#include "intake/FileTypes.h"
#include "intake/MyArchiveListDialog.h"
#include "net/MyDAO.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

using namespace intaketest;

namespace {

QList<ArchiveEntry> entries(int n)
{
    QList<ArchiveEntry> list;
    for (int i = 0; i < n; ++i) {
        ArchiveEntry e;
        e.date = "2024-03-01";
        e.time = "10:00:00";
        e.attr = i % 2 ? "D...." : "....A";
        e.size = i % 2 ? 0 : 1536;
        e.name = QString("docs\\lesson %1.docx").arg(i);
        list.append(e);
    }
    return list;
}

// The texts of the labels of one list row, left to right.
QStringList rowTexts(QListWidget* list, int row)
{
    QStringList texts;
    QWidget* w = list->itemWidget(list->item(row));
    if (!w)
        return texts;
    auto labels = w->findChildren<QLabel*>();
    std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->x() < b->x(); });
    for (QLabel* l : labels)
        texts.append(l->objectName() == "arch_item_title" ? l->toolTip() : l->text());
    return texts;
}

} // namespace

class TestIntakeWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void archiveList_data();
    void archiveList();
    void longNamesAreElided();
    void namesAreNeverMarkup_data();
    void namesAreNeverMarkup();
    void dropCollectsInOrder();
};

void TestIntakeWidgets::initTestCase()
{
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());
    MyDAO::instance();
}

void TestIntakeWidgets::archiveList_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("countLabel");
    QTest::newRow("one") << 1 << 1 << false;
    QTest::newRow("exactly 50") << 50 << 50 << false;
    QTest::newRow("51") << 51 << 50 << true;
    QTest::newRow("1000") << 1000 << 50 << true;
    QTest::newRow("none") << 0 << 0 << false;
}

void TestIntakeWidgets::archiveList()
{
    QFETCH(int, count);
    QFETCH(int, rows);
    QFETCH(bool, countLabel);
    MyArchiveListDialog dialog(entries(count));
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("查看压缩包文件列表"));
    auto* list = dialog.findChild<QListWidget*>("t_body");
    QVERIFY(list);
    QCOMPARE(list->count(), rows);
    QVERIFY(list->minimumHeight() >= 280);
    QVERIFY(dialog.findChild<QWidget*>("t_head"));
    if (rows > 0) {
        QCOMPARE(rowTexts(list, 0), QStringList({ "docs/lesson 0.docx", QString::fromUtf8("文件"), "1.51KB" }));
        QCOMPARE(list->item(0)->sizeHint(), QSize(28, 28));
    }
    if (rows > 1)
        QCOMPARE(rowTexts(list, 1), QStringList({ "docs/lesson 1.docx", QString::fromUtf8("目录"), "0B" }));
    QString countText;
    for (QLabel* l : dialog.findChildren<QLabel*>()) {
        if (l->text().startsWith("......"))
            countText = l->text();
    }
    QCOMPARE(countText,
             countLabel ? QString::fromUtf8("......\r\n文件数统计：%1，最多显示50条").arg(count) : QString());

    auto* close = dialog.findChild<QPushButton*>("bottom_close_btn");
    QVERIFY(close);
    QCOMPARE(close->text(), QString::fromUtf8("关闭 "));
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestIntakeWidgets::namesAreNeverMarkup_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("coloured warning") << "<font color=red>virus</font>";
    QTest::newRow("link") << "<a href='http://x'>go</a>";
    QTest::newRow("picture") << "<img src='file:///x'>.pdf";
    QTest::newRow("entity and blanks") << "a &amp;  b.pdf";
}

void TestIntakeWidgets::namesAreNeverMarkup()
{
    QFETCH(QString, name);
    QList<ArchiveEntry> list = entries(1);
    list[0].name = name;
    MyArchiveListDialog dialog(list);
    auto* label = dialog.findChild<QLabel*>("arch_item_title");
    QVERIFY(label);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text(), name);
    QCOMPARE(label->openExternalLinks(), false);
    // The tool tip, drawn as markup when it looks like markup, reads as the name itself.
    QTextDocument tip;
    if (Qt::mightBeRichText(label->toolTip()))
        tip.setHtml(label->toolTip());
    else
        tip.setPlainText(label->toolTip());
    QCOMPARE(tip.toPlainText(), name);
}

void TestIntakeWidgets::longNamesAreElided()
{
    QList<ArchiveEntry> list = entries(2);
    list[0].name = QString("very long name ").repeated(20) + ".pdf";
    list[1].name = "short.pdf";
    MyArchiveListDialog dialog(list);
    auto labels = dialog.findChildren<QLabel*>("arch_item_title");
    QCOMPARE(labels.size(), 2);
    std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->toolTip() > b->toolTip(); });
    QLabel* longOne = labels.at(0);
    QCOMPARE(longOne->toolTip(), list[0].name);
    QVERIFY(longOne->text() != longOne->toolTip());
    QVERIFY(longOne->text().endsWith(QChar(0x2026)));
    QVERIFY(QFontMetrics(longOne->font()).horizontalAdvance(longOne->text()) <= MyArchiveListDialog::kNameWidth);
    QCOMPARE(labels.at(1)->text(), QString("short.pdf"));

    // Only labels of the given name are touched; the tool tip is the source of the text.
    QWidget parent;
    auto* named = new QLabel("old", &parent);
    named->setObjectName("x");
    named->setToolTip("new text");
    auto* other = new QLabel("keep", &parent);
    other->setToolTip("ignored");
    elideLabel(&parent, 1000, "x");
    QCOMPARE(named->text(), QString("new text"));
    QCOMPARE(other->text(), QString("keep"));
}

void TestIntakeWidgets::dropCollectsInOrder()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("A.PDF"), QByteArray(2000, 'a')));
    QVERIFY(writeFile(dir.filePath("a.tar.gz"), QByteArray(2000, 'a')));
    QVERIFY(writeFile(dir.filePath("Lesson/slides.pptx"), "p"));
    QVERIFY(writeFile(dir.filePath("Bad/song.ogg"), "o"));
    QVERIFY(writeFile(dir.filePath("b.mp4"), QByteArray(2000, 'b')));
    QVERIFY(QFile::link(dir.filePath("b.mp4"), dir.filePath("link.mp4")));

    const QList<QUrl> urls { QUrl::fromLocalFile(dir.filePath("A.PDF")),  QUrl::fromLocalFile(dir.filePath("a.tar.gz")),
                             QUrl::fromLocalFile(dir.filePath("Lesson")), QUrl("https://example.com/x.pdf"),
                             QUrl::fromLocalFile(dir.filePath("Bad")),    QUrl::fromLocalFile(dir.filePath("link.mp4")),
                             QUrl::fromLocalFile(dir.filePath("b.mp4")) };

    QWidget page;
    QString seenTitle;
    int seenWidth = 0;
    // The packing of "Lesson" runs an event loop, so the dialog can be looked at meanwhile.
    QTimer::singleShot(0, &page, [&]() {
        if (auto* p = page.findChild<QProgressDialog*>("dragFileProgress")) {
            seenTitle = p->windowTitle();
            seenWidth = p->width();
        }
    });
    QStringList errors;
    const QStringList accepted = collectDroppedFiles(urls, MyDAO::tmpDir(), errors, &page);
    QCOMPARE(accepted, QStringList({ dir.filePath("A.PDF"), MyDAO::tmpDir() + "Lesson.zip", dir.filePath("b.mp4") }));
    QCOMPARE(errors, QStringList { QString::fromUtf8("文件夹含有不支持的其他格式文件") });
    QCOMPARE(seenTitle, QString::fromUtf8("请等待，正在处理..."));
    QCOMPARE(seenWidth, 300);
    QVERIFY(!page.findChild<QProgressDialog*>()); // gone after the drop
}

QTEST_MAIN(TestIntakeWidgets)
#include "TestIntakeWidgets.moc"
