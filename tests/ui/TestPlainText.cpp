// Texts of the site and of the file system are shown as the characters they hold: each hostile
// text, put where such texts go (list titles, the upload row, its detail view, the similar
// resources, the form's chapter and version), reads literally and loads nothing.
#include "ListTestKit.h"
#include "form/MyEditformWidget.h"
#include "form/MyRepeatDialog.h"
#include "intake/FileTypes.h"
#include "ui/ListBaseTabContent.h"
#include "ui/MyProgressItemDetailDialog.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/MyUplistWidget.h"

#include <QListWidget>
#include <QTabBar>
#include <QTextDocument>

namespace {

// What a tool tip shows: Qt renders it as markup whenever it looks like markup.
QString shownToolTip(const QString& tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

// Labels of `root` that hold `text` but may render it as markup; "none" when no label holds it.
QStringList notPlain(QWidget* root, const QString& text)
{
    QStringList out;
    int holding = 0;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (label->text() != text)
            continue;
        ++holding;
        if (label->textFormat() != Qt::PlainText)
            out << label->objectName();
    }
    return holding ? out : QStringList { "none" };
}

} // namespace

class TestPlainText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(kit.start()); }

    void shownAsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("escaped tags") << "&lt;b&gt;粗体&lt;/b&gt;标题";
        QTest::newRow("a local picture") << "<img src=\"file:///etc/hostname\">试卷";
        QTest::newRow("bold") << "<b>粗体</b>标题";
        QTest::newRow("a link") << "<a href=\"https://example.invalid/\">点这里</a>";
        QTest::newRow("an entity, no tag") << "a &lt; b &amp;&amp; c";
        QTest::newRow("blanks kept") << "<i>两个  空格</i>";
    }
    void shownAsText()
    {
        QFETCH(QString, text);

        // The title of a list row: its tool tip, and the text cut from it.
        MyUplistWidget page;
        page.resize(1100, 700);
        page.show();
        ListBaseTabContent* tab = page.currentTab();
        QVERIFY(kit.waitReplies(tab, 1));
        tab->initTBody(QJsonArray { QJsonObject { { "subject", text } } });
        auto* title = tab->rowList()->itemWidget(tab->rowList()->item(0))->findChild<QLabel*>("item_title");
        QCOMPARE(shownToolTip(title->toolTip()), stripHtml(text));
        QCOMPARE(title->text(), stripHtml(text));

        // The upload row: title and the failure told by the site.
        AssetFormData form;
        form.subject = text;
        form.catname_path = text;
        form.fitname = text;
        form.file_md5 = "0123456789abcdef0123456789abcdef";
        form.file_size = 4096;
        MyProgressItemWidget row(form);
        row.ensureBuilt();
        row.fail(text);
        auto* rowTitle = row.findChild<QLabel*>("asset_title");
        QCOMPARE(shownToolTip(rowTitle->toolTip()), text);
        QCOMPARE(rowTitle->textFormat(), Qt::PlainText);
        QCOMPARE(notPlain(&row, text), QStringList());

        // The detail of an upload row.
        MyProgressItemDetailDialog detail(form);
        QCOMPARE(notPlain(&detail, text), QStringList());

        // The similar resources of the text check.
        MyRepeatDialog similar(QJsonArray { QJsonObject { { "title", text } } });
        auto* similarTitle = similar.findChild<QLabel*>("repeat_item_title");
        QCOMPARE(shownToolTip(similarTitle->toolTip()), text);
        QCOMPARE(similarTitle->text(), text);
        QCOMPARE(similarTitle->textFormat(), Qt::PlainText);

        // The form's chapter path and the version it names.
        MyEditformWidget editForm;
        form.file_path = QCoreApplication::applicationFilePath();
        editForm.loadForm(form);
        QCOMPARE(editForm.chapterLabel()->text(), text);
        QCOMPARE(editForm.chapterLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(editForm.versionLabel()->textFormat(), Qt::PlainText);
    }

private:
    ListTestKit kit;
};

QTEST_MAIN(TestPlainText)
#include "TestPlainText.moc"
