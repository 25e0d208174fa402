#include "support/TestPaths.h"
#include "support/ToolProcess.h"
#include "tools/OleBuilder.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Files = QMap<QString, QByteArray>;

constexpr int kTextLimit = 64 * 1024 * 1024;

using Converted = ProcessResult;

Converted convert(const QStringList& args)
{
    return runProcess(testBinDir() + "/doctotext/doctotext", args, 180000);
}

QString sevenZip()
{
    QString found = QStandardPaths::findExecutable("7zz");
    return found.isEmpty() ? QStandardPaths::findExecutable("7z") : found;
}

// A real zip container made by 7-Zip from the given members.
bool makeZip(const QString& zipPath, const Files& files, const QString& option = "-mx5")
{
    QTemporaryDir tree;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        if (!writeFile(tree.filePath(it.key()), it.value()))
            return false;
    }
    QProcess zip;
    zip.setWorkingDirectory(tree.path());
    zip.start(sevenZip(), { "a", "-tzip", option, zipPath, "-r", "*" });
    return zip.waitForFinished(120000) && zip.exitCode() == 0 && QFileInfo::exists(zipPath);
}

const QByteArray kXmlHead("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");
const QByteArray kW("xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"");
const QByteArray kR("xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"");
const QByteArray kA("xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"");
const QByteArray kP("xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"");
const QByteArray kS("xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"");

QByteArray relationships(const QList<QPair<QByteArray, QByteArray>>& idToTarget)
{
    QByteArray xml
        = kXmlHead + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (const auto& rel : idToTarget)
        xml += "<Relationship Id=\"" + rel.first + "\" Type=\"x\" Target=\"" + rel.second + "\"/>";
    return xml + "</Relationships>";
}

QByteArray contentTypes()
{
    return kXmlHead
        + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
}

QByteArray wordDocument(const QByteArray& body)
{
    return kXmlHead + "<w:document " + kW + "><w:body>" + body + "</w:body></w:document>";
}

Files docx(const QByteArray& body)
{
    return { { "[Content_Types].xml", contentTypes() },
             { "_rels/.rels", relationships({ { "rId1", "word/document.xml" } }) },
             { "word/document.xml", wordDocument(body) } };
}

Files xlsx()
{
    const QByteArray workbook = kXmlHead + "<workbook " + kS + " " + kR
        + "><sheets><sheet name=\"B\" sheetId=\"2\" r:id=\"rId2\"/><sheet name=\"A\" sheetId=\"1\" "
          "r:id=\"rId1\"/></sheets></workbook>";
    const QByteArray shared = kXmlHead + "<sst " + kS
        + " count=\"2\" uniqueCount=\"2\"><si><t>标题</t></si>"
          "<si><r><t>Hel</t></r><r><rPr><b/></rPr><t>lo</t></r><rPh><t>ha</t></rPh></si></sst>";
    const QByteArray first = kXmlHead + "<worksheet " + kS
        + "><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>42</v></c>"
          "<c r=\"C1\" t=\"inlineStr\"><is><t>inline</t></is></c><c r=\"D1\" t=\"b\"><v>1</v></c>"
          "<c r=\"E1\"><f>SUM(B1)</f><v>42</v></c><c r=\"F1\" t=\"s\"><v>99</v></c></row>"
          "<row r=\"2\"/></sheetData></worksheet>";
    const QByteArray second = kXmlHead + "<worksheet " + kS
        + "><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row></sheetData></worksheet>";
    return { { "[Content_Types].xml", contentTypes() },
             { "_rels/.rels", relationships({ { "rId1", "xl/workbook.xml" } }) },
             { "xl/workbook.xml", workbook },
             { "xl/_rels/workbook.xml.rels",
               relationships({ { "rId1", "worksheets/sheet1.xml" }, { "rId2", "worksheets/sheet2.xml" } }) },
             { "xl/sharedStrings.xml", shared },
             { "xl/worksheets/sheet1.xml", second },
             { "xl/worksheets/sheet2.xml", first } };
}

QByteArray slide(const QByteArray& paragraphs)
{
    return kXmlHead + "<p:sld " + kA + " " + kP
        + " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"><p:cSld><p:spTree><p:sp>"
          "<p:txBody>"
        + paragraphs + "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
}

Files pptx()
{
    const QByteArray presentation = kXmlHead + "<p:presentation " + kP + " " + kR
        + "><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId3\"/><p:sldId id=\"257\" r:id=\"rId2\"/></p:sldIdLst>"
          "</p:presentation>";
    return { { "[Content_Types].xml", contentTypes() },
             { "_rels/.rels", relationships({ { "rId1", "ppt/presentation.xml" } }) },
             { "ppt/presentation.xml", presentation },
             { "ppt/_rels/presentation.xml.rels",
               relationships({ { "rId2", "slides/slide1.xml" }, { "rId3", "/ppt/slides/slide2.xml" } }) },
             { "ppt/slides/slide2.xml",
               slide("<a:p><a:pPr><a:tabLst><a:tab pos=\"1\"/></a:tabLst></a:pPr><a:r><a:t>第一页</a:t></a:r><a:br/>"
                     "<a:r><a:t>second line</a:t></a:r></a:p>"
                     "<mc:AlternateContent><mc:Choice Requires=\"x\"><a:p><a:r><a:t>框</a:t></a:r></a:p></mc:Choice>"
                     "<mc:Fallback><a:p><a:r><a:t>框</a:t></a:r></a:p></mc:Fallback></mc:AlternateContent>") },
             { "ppt/slides/slide1.xml", slide("<a:p><a:r><a:t>最后一页</a:t></a:r></a:p>") } };
}

// A small PDF written object by object, with the cross-reference offsets computed.
QByteArray pdf(const QList<QByteArray>& pageStreams)
{
    QList<QByteArray> objects;
    const int pages = pageStreams.size();
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(4 + 2 * i) + " 0 R ";
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    for (int i = 0; i < pages; ++i) {
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
                   "/Contents "
                + QByteArray::number(5 + 2 * i) + " 0 R >>";
        objects << "<< /Length " + QByteArray::number(pageStreams[i].size()) + " >>\nstream\n" + pageStreams[i]
                + "\nendstream";
    }
    QByteArray out("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

} // namespace

class TestDocToText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsDocumentText_data();
    void printsDocumentText();
    void refusesUnknownOrDamagedInput_data();
    void refusesUnknownOrDamagedInput();
    void boundsWhatItReadsAndPrints_data();
    void boundsWhatItReadsAndPrints();
    void readsOldExcelWorkbooks_data();
    void readsOldExcelWorkbooks();
    void readsOldWordAndPowerPointFiles_data();
    void readsOldWordAndPowerPointFiles();
    void refusesBrokenCompoundFilesUpFront_data();
    void refusesBrokenCompoundFilesUpFront();
};

void TestDocToText::initTestCase()
{
    QVERIFY2(!sevenZip().isEmpty(), "7-Zip is needed to build the test documents");
}

void TestDocToText::printsDocumentText_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content"); // empty: zip the members below
    QTest::addColumn<Files>("members");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray body = "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
                            "<w:r><w:t>第一段</w:t></w:r><w:r><w:t xml:space=\"preserve\"> 文字</w:t></w:r></w:p>"
                            "<w:p/><w:p><w:r><w:t>A</w:t></w:r><w:r><w:tab/><w:t>B</w:t></w:r></w:p>"
                            "<w:p><w:r><w:delText>deleted</w:delText></w:r><w:r><w:t>kept</w:t></w:r></w:p>"
                            "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>格</w:t></w:r></w:p></w:tc></w:tr></w:tbl>";
    const QByteArray docxText("第一段 文字\r\nA\tB\r\nkept\r\n格\r\n");

    QTest::newRow("docx") << "lesson.docx" << QByteArray() << docx(body) << docxText;
    QTest::newRow("docx named doc") << "lesson.doc" << QByteArray() << docx(body) << docxText;
    QTest::newRow("xlsx sheets in workbook order")
        << "scores.xlsx" << QByteArray() << xlsx() << QByteArray("标题\t42\tinline\tTRUE\t42\r\nHello\r\n");
    QTest::newRow("pptx slides in list order")
        << "talk.pptx" << QByteArray() << pptx() << QByteArray("第一页\r\nsecond line\r\n框\r\n最后一页\r\n");
    Files unlisted = pptx();
    unlisted.remove("ppt/_rels/presentation.xml.rels");
    unlisted["ppt/slides/slide10.xml"] = slide("<a:p><a:r><a:t>十</a:t></a:r></a:p>");
    QTest::newRow("pptx slides by number without list")
        << "talk.pptx" << QByteArray() << unlisted << QByteArray("最后一页\r\n第一页\r\nsecond line\r\n框\r\n十\r\n");
    QTest::newRow("pdf two pages") << "paper.pdf"
                                   << pdf({ "BT /F1 24 Tf 72 720 Td (Hello PDF) Tj ET",
                                            "BT /F1 24 Tf 72 720 Td (Caf\351 page two) Tj ET" })
                                   << Files() << QByteArray("Hello PDF\r\nCafé page two\r\n");
    QTest::newRow("pdf without text") << "blank.pdf" << pdf({ "" }) << Files() << QByteArray();
}

void TestDocToText::printsDocumentText()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(Files, members);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    if (members.isEmpty())
        QVERIFY(writeFile(path, content));
    else
        QVERIFY(makeZip(dir.filePath("made.zip"), members) && QFile::rename(dir.filePath("made.zip"), path));

    Converted result = convert({ path });
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(result.out), QString::fromUtf8(expected));
}

void TestDocToText::refusesUnknownOrDamagedInput_data()
{
    QTest::addColumn<QString>("fileName"); // empty: no file at all
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Files>("members");

    const QByteArray bomb = "<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                            "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>";
    const QByteArray good = pdf({ "BT /F1 24 Tf 72 720 Td (Hello PDF) Tj ET" });

    QTest::newRow("missing file") << QString() << QByteArray() << Files();
    QTest::newRow("empty file") << "empty.docx" << QByteArray() << Files();
    QTest::newRow("plain text") << "notes.txt" << QByteArray("just some text\r\n") << Files();
    QTest::newRow("text named doc") << "notes.doc" << QByteArray("just some text, not a Word file\r\n") << Files();
    QTest::newRow("compound file of nothing known")
        << "odd.bin" << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(2040, '\0') << Files();
    QTest::newRow("pdf cut short") << "cut.pdf" << good.left(40) << Files();
    QTest::newRow("zip of no document") << "readme.docx" << QByteArray() << Files { { "readme.txt", "hello" } };
    QTest::newRow("docx with broken xml")
        << "broken.docx" << QByteArray() << Files { { "word/document.xml", "<w:document><w:body><w:p><w:t>x" } };
    QTest::newRow("docx with entity expansion")
        << "bomb.docx" << QByteArray()
        << Files { { "word/document.xml", kXmlHead + bomb + "<d><p><t>&c;</t></p></d>" } };
    QTest::newRow("zip with password") << "locked.docx" << QByteArray() << docx("<w:p><w:r><w:t>x</w:t></w:r></w:p>");
    QTest::newRow("zip header then garbage")
        << "garbage.docx" << QByteArray("PK\x03\x04", 4) + QByteArray(3000, '\x11') << Files();
}

void TestDocToText::refusesUnknownOrDamagedInput()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(Files, members);

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName.isEmpty() ? QString("absent.docx") : fileName);
    const QString option = fileName == "locked.docx" ? "-psecret" : "-mx5";
    if (!members.isEmpty())
        QVERIFY(makeZip(dir.filePath("made.zip"), members, option) && QFile::rename(dir.filePath("made.zip"), path));
    else if (!fileName.isEmpty())
        QVERIFY(writeFile(path, content));

    Converted result = convert({ path });
    QVERIFY2(result.exitCode > 0, qPrintable(QString::number(result.exitCode)));
    QCOMPARE(result.out, QByteArray());
}

void TestDocToText::boundsWhatItReadsAndPrints_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("document part beyond the read limit") << "bomb";
    QTest::newRow("shared string repeated beyond the print limit") << "repeat";
    QTest::newRow("wrong argument count") << "args";
}

// Small files that expand enormously neither exhaust memory nor flood the caller.
void TestDocToText::boundsWhatItReadsAndPrints()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.docx");

    if (kind == "args") {
        QVERIFY(makeZip(path, docx("<w:p><w:r><w:t>x</w:t></w:r></w:p>")));
        Converted none = convert({});
        Converted two = convert({ path, path });
        QVERIFY(none.exitCode > 0 && two.exitCode > 0);
        QVERIFY(none.out.isEmpty() && two.out.isEmpty());
        QCOMPARE(convert({ path }).out, QByteArray("x\r\n")); // the same file alone is fine
        return;
    }
    if (kind == "bomb") {
        // Well-formed: without the read limit all of it would be printed.
        QByteArray run = "<w:p><w:r><w:t>" + QByteArray(kTextLimit + 1024 * 1024, 'a') + "</w:t></w:r></w:p>";
        QVERIFY(makeZip(path, docx(run), "-mx1"));
        QVERIFY(QFileInfo(path).size() < 4 * 1024 * 1024);
        Converted result = convert({ path });
        QVERIFY(result.exitCode > 0);
        QCOMPARE(result.out.size(), 0);
        return;
    }
    Files book = xlsx();
    const int copies = kTextLimit / (1024 * 1024) + 8;
    QByteArray cells;
    for (int i = 0; i < copies; ++i)
        cells += "<row><c t=\"s\"><v>0</v></c></row>";
    book["xl/sharedStrings.xml"]
        = kXmlHead + "<sst " + kS + "><si><t>" + QByteArray(1024 * 1024, 'x') + "</t></si></sst>";
    book["xl/worksheets/sheet1.xml"]
        = kXmlHead + "<worksheet " + kS + "><sheetData>" + cells + "</sheetData></worksheet>";
    book.remove("xl/worksheets/sheet2.xml");
    QVERIFY(makeZip(path, book));
    Converted result = convert({ path });
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out.size(), kTextLimit);
    QVERIFY(result.out.startsWith(QByteArray(1024 * 1024, 'x') + "\r\n"));
}

void TestDocToText::readsOldExcelWorkbooks_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("xls") << "scores.xls";
    QTest::newRow("xls without suffix") << "scores";
    QTest::newRow("xls named doc") << "scores.doc";
}

// A binary workbook written by Perl's Spreadsheet::WriteExcel (Debian libspreadsheet-writeexcel-perl).
void TestDocToText::readsOldExcelWorkbooks()
{
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QProcess perl;
    perl.start("perl",
               { "-MSpreadsheet::WriteExcel", "-e",
                 "my $b = Spreadsheet::WriteExcel->new($ARGV[0]); my $s = $b->add_worksheet('one');"
                 "$s->write(0, 0, 'hello'); $s->write(0, 1, 42);"
                 "$s->write_utf16be_string(1, 0, pack('n*', 0x6210, 0x7EE9));"
                 "$b->add_worksheet('two')->write(0, 0, 'second sheet'); $b->close;",
                 path });
    QVERIFY2(perl.waitForFinished(60000) && perl.exitCode() == 0, perl.readAllStandardError().constData());

    Converted result = convert({ path });
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(result.out), QString::fromUtf8("hello\t42\r\n成绩\r\nsecond sheet\r\n"));
}

void TestDocToText::readsOldWordAndPowerPointFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray word = oletest::wordFile(QString::fromUtf8("第一段 Word text\r第二段\r"));
    const QByteArray slides = oletest::slidesFile(QString::fromUtf8("幻灯片 text"), "bytes atom");
    const QByteArray wordText("第一段 Word text\r\n第二段\r\n");
    const QByteArray slideText("幻灯片 text\r\nbytes atom\r\n");
    QTest::newRow("doc") << "old.doc" << word << wordText;
    QTest::newRow("doc without suffix") << "old" << word << wordText;
    QTest::newRow("ppt") << "old.ppt" << slides << slideText;
    QTest::newRow("ppt named doc") << "old.doc" << slides << slideText;
}

// Hand-built compound files: the routing by stream name and the catdoc tools' command lines.
void TestDocToText::readsOldWordAndPowerPointFiles()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QVERIFY(writeFile(path, content));
    Converted result = convert({ path });
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(result.out), QString::fromUtf8(expected));
}

void TestDocToText::refusesBrokenCompoundFilesUpFront_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");

    const QByteArray word = oletest::wordFile(QString::fromUtf8("第一段"));
    QByteArray looping = oletest::compoundFile("Workbook", QByteArray(8192, 'w'));
    looping[512 + 4 * 1] = 1; // the directory sector follows itself
    looping[512 + 4 * 1 + 1] = looping[512 + 4 * 1 + 2] = looping[512 + 4 * 1 + 3] = 0;

    QTest::newRow("doc cut short") << "cut.doc" << word.left(word.size() - 600);
    QTest::newRow("xls whose directory chain loops") << "loop.xls" << looping;
}

// catdoc spins forever on the cut document and xls2csv allocates without end on the looping
// directory; both are refused as damaged before being handed over (a run that reaches the
// converter's time limit ends with a different code).
void TestDocToText::refusesBrokenCompoundFilesUpFront()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QVERIFY(writeFile(path, content));
    Converted result = convert({ path });
    QCOMPARE(result.exitCode, 4);
    QCOMPARE(result.out, QByteArray());
}

QTEST_GUILESS_MAIN(TestDocToText)
#include "TestDocToText.moc"
