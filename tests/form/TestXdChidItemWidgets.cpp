#include "form/XdChidItemWidgets.h"
#include "net/MyDAO.h"
#include "net/MyOptionItem.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Stage 2 has a subject whose id came as a number instead of a decimal string.
const char kVtup[] = R"json({
  "chid": {
    "1": [{"subjectId": "11", "subjectName": "小学语文"}],
    "2": [{"subjectId": "21", "subjectName": "语文"}, {"subjectId": 22, "subjectName": "数学"},
          {"subjectId": "23", "subjectName": "政治思品(道德与法治)"}],
    "3": [{"subjectId": "31", "subjectName": "物理"}, {"subjectId": "32", "subjectName": "化学"}]
  }
})json";

QStringList texts(const QComboBox* combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}

} // namespace

class TestXdChidItemWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void construction_data();
    void construction();
    void pickingAStageRefillsSubjects();
    void setValueSelectsByValue();
    void selectionByValue();
    void changesAreForwarded();

private:
    QTemporaryDir appDir;
};

void TestXdChidItemWidgets::initTestCase()
{
    QVERIFY(QDir().mkpath(appDir.filePath("resources")));
    QFile f(appDir.filePath("resources/vtup.json"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(kVtup);
    f.close();
    qputenv("VANTREL_APPDIR", appDir.path().toUtf8());
    // The website is unreachable in tests: the shipped file is what gets loaded.
    QVERIFY(MyDAO::instance()->resourceObject().contains("chid"));
}

void TestXdChidItemWidgets::construction_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("subject");
    QTest::addColumn<QString>("stageText");
    QTest::addColumn<QStringList>("subjects");
    QTest::addColumn<int>("subjectIndex");
    QTest::addColumn<int>("subjectValue");

    const QStringList junior { "请选择学科", "语文", "数学", "政治思品(道德与法治)" };
    QTest::newRow("nothing chosen") << 0 << 0 << "请选择学段" << QStringList { "请选择学科" } << 0 << 0;
    QTest::newRow("stage 2 by index") << 2 << 0 << "初中" << junior << 0 << 0;
    QTest::newRow("subject by value") << 2 << 23 << "初中" << junior << 3 << 23;
    QTest::newRow("unknown subject") << 2 << 99 << "初中" << junior << 0 << 0;
    QTest::newRow("numeric subject id reads as 0") << 2 << 22 << "初中" << junior << 0 << 0;
    QTest::newRow("stage 3") << 3 << 32 << "高中" << QStringList { "请选择学科", "物理", "化学" } << 2 << 32;
    QTest::newRow("subject without stage ignored") << 0 << 21 << "请选择学段" << QStringList { "请选择学科" } << 0 << 0;
}

void TestXdChidItemWidgets::construction()
{
    QFETCH(int, stage);
    QFETCH(int, subject);
    QFETCH(QString, stageText);
    QFETCH(QStringList, subjects);
    QFETCH(int, subjectIndex);
    QFETCH(int, subjectValue);

    XdChidItemWidgets pair(stage, subject);
    QCOMPARE(texts(pair.stageCombo()), (QStringList { "请选择学段", "小学", "初中", "高中" }));
    QCOMPARE(pair.stageCombo()->currentText(), stageText);
    QCOMPARE(pair.stage(), stage);
    QCOMPARE(texts(pair.subjectCombo()), subjects);
    QCOMPARE(pair.subjectCombo()->currentIndex(), subjectIndex);
    QCOMPARE(pair.subject(), subjectValue);
    QVERIFY(pair.stageCombo()->minimumWidth() >= 120);
    QVERIFY(pair.subjectCombo()->minimumWidth() >= 120);
}

void TestXdChidItemWidgets::pickingAStageRefillsSubjects()
{
    XdChidItemWidgets pair(2, 21);
    QCOMPARE(pair.subject(), 21);

    // A bare index change (not a choice) leaves the subjects alone.
    pair.stageCombo()->setCurrentIndex(3);
    QCOMPARE(texts(pair.subjectCombo()).value(1), QString("语文"));
    QCOMPARE(pair.subject(), 21);

    // A choice by the author refills them, with the placeholder selected.
    emit pair.stageCombo()->activated(3);
    QCOMPARE(texts(pair.subjectCombo()), (QStringList { "请选择学科", "物理", "化学" }));
    QCOMPARE(pair.subject(), 0);

    pair.stageCombo()->setCurrentIndex(0);
    emit pair.stageCombo()->activated(0);
    QCOMPARE(texts(pair.subjectCombo()), QStringList { "请选择学科" });
}

void TestXdChidItemWidgets::setValueSelectsByValue()
{
    XdChidItemWidgets pair(0, 0);
    pair.setValue(3, 31);
    QCOMPARE(pair.stage(), 3);
    QCOMPARE(pair.subject(), 31);
    QCOMPARE(pair.subjectCombo()->currentText(), QString("物理"));

    pair.setValue(1, 11);
    QCOMPARE(texts(pair.subjectCombo()), (QStringList { "请选择学科", "小学语文" }));
    QCOMPARE(pair.subject(), 11);

    // An unknown subject leaves the freshly filled list on its placeholder.
    pair.setValue(2, 77);
    QCOMPARE(pair.stage(), 2);
    QCOMPARE(pair.subjectCombo()->currentIndex(), 0);
}

void TestXdChidItemWidgets::selectionByValue()
{
    QComboBox combo;
    addOption(&combo, MyOptionItem { "甲", 5 });
    addOption(&combo, MyOptionItem { "乙", 7 });
    addOption(&combo, MyOptionItem { "丙", 5 });
    combo.addItem("无值");
    QSignalSpy activated(&combo, QOverload<int>::of(&QComboBox::activated));

    // Every item with the value is reported; the last one stays current.
    QVERIFY(selectOptionValue(&combo, 5));
    QCOMPARE(activated.size(), 2);
    QCOMPARE(activated.at(0).at(0).toInt(), 0);
    QCOMPARE(activated.at(1).at(0).toInt(), 2);
    QCOMPARE(combo.currentIndex(), 2);
    QCOMPARE(optionValue(&combo), 5);

    // No such value: nothing changes, nothing reported.
    QVERIFY(!selectOptionValue(&combo, 9));
    QCOMPARE(combo.currentIndex(), 2);
    QCOMPARE(activated.size(), 2);

    // An item without an option reads as 0, and 0 does not select it.
    combo.setCurrentIndex(3);
    QCOMPARE(optionValue(&combo), 0);
    QVERIFY(!selectOptionValue(&combo, 0));
    QCOMPARE(combo.currentIndex(), 3);
}

void TestXdChidItemWidgets::changesAreForwarded()
{
    XdChidItemWidgets pair(2, 0);
    QSignalSpy changed(&pair, &XdChidItemWidgets::s_changed);
    pair.subjectCombo()->setCurrentIndex(1);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 1);
    pair.stageCombo()->setCurrentIndex(1);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(1).at(0).toInt(), 1);
}

QTEST_MAIN(TestXdChidItemWidgets)
#include "TestXdChidItemWidgets.moc"
