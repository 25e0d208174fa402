#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The site's fixed reference data and the generators of its demo content. Everything here
// is deterministic, so two runs (and the shipped reference files) agree.
namespace seed {

const QJsonObject& vtup(); // the resource object, as served and shipped
const QJsonObject& rule();
QByteArray vtupBytes();
QByteArray ruleBytes();

QString stageName(int stage);
QString subjectName(int subject);
bool subjectInStage(int stage, int subject);
QString typeName(int root, int type); // empty when the type is not under that root
QString rootName(int root);
QString copyrightName(int key);

// Child regions of upid ({"id": decimal text, "name"}); empty for unknown parents.
QJsonArray districts(int upid);
QString regionName(int id);

struct Version
{
    int id;
    QString name;
};
QList<Version> versions(int stage, int subject);

struct Chapter
{
    int catid = 0;
    QString name;
    int upid = 0;
    int displayorder = 0;
    bool hasChildren = false;
    int bookversionid = 0;
};
// The chapter tree of a stage and subject in the order the site answers it.
QList<Chapter> chapters(int stage, int subject);
// For a leaf chapter of that tree: its catpath (catids from the top level down, joined
// with ",") and its name path (joined with " > "). False for anything else.
bool leafChapter(int stage, int subject, int catid, QString* catpath, QString* namePath);

// Short texts that stand for the extracted content of the seeded resources.
const QStringList& intros();

// The author's resources on first start (rows as the lists serve them, plus the facts
// behind the detail view).
QList<QJsonObject> initialAssets(qint64 now);

// A sample file the site already has: its bytes are this text in UTF-8.
QByteArray knownSampleContent();

} // namespace seed
