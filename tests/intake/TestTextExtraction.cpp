#include "IntakeTestKit.h"
#include "intake/ExternalTools.h"
#include "intake/TextExtraction.h"
#include "net/MyDAO.h"
#include "support/TestPaths.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Puts an executable shell script at <appdir>/doctotext/doctotext.
void writeFakeConverter(const QTemporaryDir& appdir, const QByteArray& body)
{
    QDir().mkpath(appdir.filePath("doctotext"));
    QFile f(appdir.filePath("doctotext/doctotext"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body + "\n");
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

// Runs one extraction and waits for its single answer.
QString extract(const QString& path, int* answers = nullptr)
{
    QString text = "<none>";
    int count = 0;
    bool onGuiThread = false;
    MyDAO::instance()->extractText(path, [&](QString t) {
        text = t;
        ++count;
        onGuiThread = QThread::currentThread() == qApp->thread();
    });
    if (!QTest::qWaitFor([&]() { return count > 0; }, 60000))
        return "<no answer>";
    if (answers)
        *answers = count;
    return onGuiThread ? text : QString("<wrong thread>");
}

} // namespace

class TestTextExtraction : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void normalise_data();
    void normalise();
    void converterOutput_data();
    void converterOutput();
    void missingConverterAnswersAtOnce();
    void hangingConverterIsKilled();
    void realConverter_data();
    void realConverter();
};

void TestTextExtraction::cleanup()
{
    qunsetenv("VANTREL_APPDIR");
    setConverterTimeoutMs(2 * 60 * 1000);
}

void TestTextExtraction::normalise_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("runs collapse") << "a   b\r\n\r\n\r\nc\t\t\td"
                                   << "a b\r\nc\td";
    QTest::newRow("ends trimmed") << "\r\n\r\n  text \t\r\n"
                                  << "text";
    QTest::newRow("single CR LF kept") << "a\r\nb"
                                       << "a\r\nb";
    QTest::newRow("lone LFs kept") << "a\n\n\nb"
                                   << "a\n\n\nb";
    QTest::newRow("CR LF then LF is no pair run") << "a\r\n\nb"
                                                  << "a\r\n\nb";
    QTest::newRow("two spaces") << "x  y"
                                << "x y";
    QTest::newRow("mixed blank kinds stay") << "x \t y"
                                            << "x \t y";
    QTest::newRow("empty") << ""
                           << "";
}

void TestTextExtraction::normalise()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(normaliseExtractedText(in), out);
}

void TestTextExtraction::converterOutput_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("text");
    QTest::newRow("normalised") << QByteArray(R"(printf '\r\n  a   b\r\n\r\n\r\nc\t\t\td  \r\n')") << "a b\r\nc\td";
    QTest::newRow("cut at zero byte") << QByteArray(R"(printf 'before\000after')") << "before";
    QTest::newRow("UTF-8") << QByteArray(R"(printf '\344\270\255\346\226\207')") << QString::fromUtf8("中文");
    QTest::newRow("the argument is the path") << QByteArray(R"(printf '%s' "$1" | tail -c 8)") << "file.pdf";
    QTest::newRow("nothing printed") << QByteArray("exit 3") << "";
    QTest::newRow("stderr not read") << QByteArray("echo noise >&2; printf ok") << "ok";
}

void TestTextExtraction::converterOutput()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, text);
    QTemporaryDir appdir;
    writeFakeConverter(appdir, script);
    qputenv("VANTREL_APPDIR", appdir.path().toUtf8());
    int answers = 0;
    QCOMPARE(extract(appdir.filePath("some file.pdf"), &answers), text);
    QCOMPARE(answers, 1);
}

void TestTextExtraction::missingConverterAnswersAtOnce()
{
    QTemporaryDir appdir; // no doctotext inside
    qputenv("VANTREL_APPDIR", appdir.path().toUtf8());
    // The answer comes later, never from inside the call.
    bool early = false;
    MyDAO::instance()->extractText("/some/file.docx", [&early](QString) { early = true; });
    QVERIFY(!early);
    QTRY_VERIFY(early);
    int answers = 0;
    QCOMPARE(extract("/some/file.docx", &answers), QString());
    QCOMPARE(answers, 1);

    // Present but not startable (not executable).
    QDir().mkpath(appdir.filePath("doctotext"));
    QFile f(appdir.filePath("doctotext/doctotext"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a program");
    f.close();
    QCOMPARE(extract("/some/file.docx", &answers), QString());
    QCOMPARE(answers, 1);
}

void TestTextExtraction::hangingConverterIsKilled()
{
    QTemporaryDir appdir;
    writeFakeConverter(appdir, "printf partial; exec sleep 120");
    qputenv("VANTREL_APPDIR", appdir.path().toUtf8());
    setConverterTimeoutMs(1000);
    int answers = 0;
    // Whatever it printed before hanging is not a result.
    QCOMPARE(extract("/some/file.pdf", &answers), QString());
    QCOMPARE(answers, 1);
}

void TestTextExtraction::realConverter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("docx paragraphs") << "lesson.docx" << QString::fromUtf8("第一课 练习\r\nsecond paragraph");
    QTest::newRow("pdf") << "sheet.pdf"
                         << "Hello PDF 42";
    QTest::newRow("damaged docx") << "broken.docx"
                                  << "";
    QTest::newRow("not a document") << "plain.pdf"
                                    << "";
}

void TestTextExtraction::realConverter()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    qputenv("VANTREL_APPDIR", testBinDir().toUtf8());
    QVERIFY(QFileInfo(converterProgram()).isExecutable());
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name == "lesson.docx") {
        const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                               "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                               "<w:body><w:p><w:r><w:t xml:space=\"preserve\">\xe7\xac\xac\xe4\xb8\x80\xe8\xaf\xbe   "
                               "</w:t></w:r><w:r><w:t>\xe7\xbb\x83\xe4\xb9\xa0</w:t></w:r></w:p><w:p/><w:p><w:r>"
                               "<w:t>second paragraph</w:t></w:r></w:p></w:body></w:document>";
        QVERIFY(intaketest::writeFile(path, intaketest::storedZip({ { "word/document.xml", xml } })));
    } else if (name == "sheet.pdf") {
        QPdfWriter writer(path);
        QPainter painter(&writer);
        QFont font = painter.font();
        font.setPointSize(24);
        painter.setFont(font);
        painter.drawText(QPointF(500, 1000), "Hello PDF 42");
        painter.end();
    } else if (name == "broken.docx") {
        QVERIFY(intaketest::writeFile(path, "PK\x03\x04" + QByteArray(3000, 'z')));
    } else {
        QVERIFY(intaketest::writeFile(path, "just some words, no document"));
    }
    int answers = 0;
    QCOMPARE(extract(path, &answers), text);
    QCOMPARE(answers, 1);
}

QTEST_MAIN(TestTextExtraction)
#include "TestTextExtraction.moc"
