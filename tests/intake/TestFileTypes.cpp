#include "intake/FileTypes.h"

#include <QFileInfo>
#include <QtTest>

class TestFileTypes : public QObject
{
    Q_OBJECT

private slots:
    void tableOrderAndSuffixList();
    void category_data();
    void category();
    void suffixTests_data();
    void suffixTests();
    void archiveNameWithoutDot();
    void icon_data();
    void icon();
    void size_data();
    void size();
    void speed_data();
    void speed();
    void html_data();
    void html();
    void dialogFilter();
};

void TestFileTypes::tableOrderAndSuffixList()
{
    const auto map = fileTypeMap();
    QCOMPARE(map.keys(),
             QStringList({ "audio", "doc", "excel", "kux", "pdf", "pic", "ppt", "qlv", "qsv", "tar", "video" }));
    QCOMPARE(map.value("tar"), QString("zip,rar,tar,7z,tar.gz,tar.bz2"));
    QCOMPARE(map.value("pic"), QString("jpg,png,gif,jpeg,bmp,tif,webp"));

    const QStringList all = allowedSuffixes();
    QCOMPARE(all.size(), 37);
    QCOMPARE(all.first(), QString("wav"));
    QCOMPARE(all.last(), QString("swf"));
    // A drop is judged by its last suffix only, so these two can never match it.
    QVERIFY(all.contains("tar.gz"));
    QVERIFY(!all.contains("gz"));
    QVERIFY(!all.contains("ogg"));
}

void TestFileTypes::category_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key");
    QTest::newRow("pdf") << "a.pdf"
                         << "pdf";
    QTest::newRow("upper case falls back") << "A.PDF"
                                           << "doc";
    QTest::newRow("upper mp4 falls back") << "movie.MP4"
                                          << "doc";
    QTest::newRow("double suffix") << "x.tar.gz"
                                   << "tar";
    QTest::newRow("tar.bz2") << "x.tar.bz2"
                             << "tar";
    QTest::newRow("jpeg") << "photo.jpeg"
                          << "pic";
    QTest::newRow("pptx") << "slides.pptx"
                          << "ppt";
    QTest::newRow("xlsx") << "sheet.xlsx"
                          << "excel";
    QTest::newRow("mid") << "tune.mid"
                         << "audio";
    QTest::newRow("rmvb") << "clip.rmvb"
                          << "video";
    QTest::newRow("kux") << "v.kux"
                         << "kux";
    QTest::newRow("no dot before suffix") << "notpdf"
                                          << "doc";
    QTest::newRow("unknown") << "song.ogg"
                             << "doc";
    QTest::newRow("7z") << "a.7z"
                        << "tar";
}

void TestFileTypes::category()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    QCOMPARE(fileCategory(name), key);
}

void TestFileTypes::suffixTests_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("archive");
    QTest::addColumn<bool>("text");
    QTest::newRow("zip") << "a.zip" << true << false;
    QTest::newRow("upper RAR") << "B.RAR" << true << false;
    QTest::newRow("tar.gz by last suffix") << "c.tar.gz" << true << false;
    QTest::newRow("7Z") << "d.7Z" << true << false;
    QTest::newRow("docx") << "e.docx" << false << true;
    QTest::newRow("upper PDF") << "f.PDF" << false << true;
    QTest::newRow("picture") << "i.png" << false << false;
    QTest::newRow("trailing dot") << "doc." << false << false;
}

void TestFileTypes::suffixTests()
{
    QFETCH(QString, name);
    QFETCH(bool, archive);
    QFETCH(bool, text);
    QCOMPARE(isArchiveFile(QFileInfo("/some/dir/" + name)), archive);
    QCOMPARE(isArchiveName(name), archive);
    QCOMPARE(isTextFile(QFileInfo("/some/dir/" + name)), text);
}

void TestFileTypes::archiveNameWithoutDot()
{
    // A listing line is judged by the text after its last dot, or the whole line without one.
    QVERIFY(isArchiveName("zip"));
    QVERIFY(!isArchiveFile(QFileInfo("/some/dir/zip")));
    QVERIFY(isArchiveName("2024-01-01 10:00:00 ....A 10 10 docs/inner.RAR"));
    QVERIFY(!isArchiveName("2024-01-01 10:00:00 ....A 10 10 docs/readme.txt"));
}

void TestFileTypes::icon_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("icon");
    QTest::newRow("3") << "3"
                       << "t/ppt";
    QTest::newRow("4") << "4"
                       << "t/doc";
    QTest::newRow("6") << "6"
                       << "t/tar";
    QTest::newRow("7") << "7"
                       << "t/doc";
    QTest::newRow("12") << "12"
                        << "t/video";
    QTest::newRow("other number") << "5"
                                  << "t/doc";
    QTest::newRow("no number") << "video"
                               << "t/doc";
    QTest::newRow("empty") << ""
                           << "t/doc";
}

void TestFileTypes::icon()
{
    QFETCH(QString, id);
    QFETCH(QString, icon);
    QCOMPARE(typeIcon(id), icon);
}

void TestFileTypes::size_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << "0B";
    QTest::newRow("1023") << quint64(1023) << "1023B";
    QTest::newRow("1024") << quint64(1024) << "1KB";
    QTest::newRow("1536 two digits of remainder") << quint64(1536) << "1.51KB";
    QTest::newRow("1030 remainder 6") << quint64(1030) << "1.6KB";
    QTest::newRow("1 MiB") << quint64(1048576) << "1MB";
    QTest::newRow("1025 KiB, remainder of last step") << quint64(1049600) << "1.1MB";
    QTest::newRow("3 GiB beyond 32 bits") << quint64(3) * 1024 * 1024 * 1024 << "3GB";
    QTest::newRow("1 TiB + 512 GiB") << (quint64(1536) << 30) << "1.51TB";
    QTest::newRow("stops at PB") << (quint64(2048) << 50) << "2048PB";
    QTest::newRow("largest value") << std::numeric_limits<quint64>::max() << "16384PB";
}

void TestFileTypes::size()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(sizeText(bytes), text);
}

void TestFileTypes::speed_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("no time") << 0 << 5000 << "0B/s";
    QTest::newRow("nothing moved") << 1000 << 0 << "0B/s";
    QTest::newRow("512 KiB in a second") << 1000 << 524288 << "512KB/s";
    QTest::newRow("half a second") << 500 << 1024 << "2KB/s";
    // 5 MiB in one second overflows 32 bits when multiplied by 1000.
    QTest::newRow("large tick") << 1000 << 5 * 1048576 << "5MB/s";
    QTest::newRow("negative input") << 1000 << -1 << "0B/s";
}

void TestFileTypes::speed()
{
    QFETCH(int, ms);
    QFETCH(int, bytes);
    QFETCH(QString, text);
    QCOMPARE(speedText(ms, bytes), text);
}

void TestFileTypes::html_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("plain") << "高一 数学"
                           << "高一 数学";
    QTest::newRow("nbsp") << "a&nbsp;b"
                          << "ab";
    QTest::newRow("tags") << "<font color=\"red\">期中</font>试卷"
                          << "期中试卷";
    QTest::newRow("self-closing") << "a<br/>b"
                                  << "ab";
    QTest::newRow("lone less-than") << "1 < 2"
                                    << "1 < 2";
    QTest::newRow("upper NBSP kept") << "a&NBSP;b"
                                     << "a&NBSP;b";
    QTest::newRow("entities shown as characters")
        << "优质课 &amp; 配套练习 &lt;b&gt; &quot;x&quot; &#39;y&#x27; &#20013;"
        << "优质课 & 配套练习 <b> \"x\" 'y' 中";
    QTest::newRow("one pass, unknown and control entities kept") << "&amp;lt; &copy; &#0; &#xD800; &amp"
                                                                 << "&lt; &copy; &#0; &#xD800; &amp";
}

void TestFileTypes::html()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(stripHtml(in), out);
}

void TestFileTypes::dialogFilter()
{
    const QString& filter = openFileFilter();
    QCOMPARE(&filter, &openFileFilter()); // built once
    const QStringList groups = filter.split(";;");
    QCOMPARE(groups.size(), 8);
    QVERIFY(groups.first().startsWith(QString::fromUtf8("所有文件(*.doc *.docx *.xls *xlsx *.pdf")));
    QCOMPARE(groups.at(5), QString::fromUtf8("平台视频(*.qlv *.qsv *.kux)"));
    QCOMPARE(groups.last(), QString::fromUtf8("压缩包(*.zip *.rar *.tar *.7z *.tar.gz *.tar.bz2)"));
    QVERIFY(groups.first().contains("*.swf *qlv *qsv *kux *.wav"));
    QCOMPARE(filter.count(" *.ogg"), 4);
}

QTEST_APPLESS_MAIN(TestFileTypes)
#include "TestFileTypes.moc"
