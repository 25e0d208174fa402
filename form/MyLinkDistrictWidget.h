#pragma once

#include "net/LatestRequest.h"
#include "net/MyOptionItem.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;

// The region pickers: province, city and county, each filled from the district lists of
// the website once its parent is chosen. Can guess the region from a title.
class MyLinkDistrictWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MyLinkDistrictWidget(QWidget* parent = nullptr);

    // Guesses province, city and county from the title; reports whether a province was found.
    void autoFillByTitle(QString title);
    // Selects the three ids as lists arrive. An id the lists no longer contain is shown with
    // `storedName` and read back unchanged until the author picks something else.
    void setRegion(int province, int city, int county, const QString& storedName = QString());

    struct Region
    {
        int province = -1;
        int city = -1;
        int county = -1;
        QString name;
    };
    Region region() const;

    // The regions of a district list in its order; an entry without a numeric id or a name
    // is left out rather than offered as region 0.
    static QList<MyOptionItem> readDistricts(const QJsonArray& data);

    QComboBox* provinceCombo() const { return combos[0]; }
    QComboBox* cityCombo() const { return combos[1]; }
    QComboBox* countyCombo() const { return combos[2]; }

signals:
    void s_autoFillResult(bool ok);

private:
    enum Level { Province, City, County };
    // Asks for the list under `upid`; the answer is used only while nothing newer was asked
    // for at that level.
    void request(Level level, int upid, bool guess);
    void fill(Level level, const QJsonArray& data);
    void clearFrom(Level level);
    void picked(Level level, int index);
    void listArrived(Level level, const QJsonArray& data, bool guess);
    int markStale(Level level, int id);

    QComboBox* combos[3] = {};
    // Per level, only the list asked for last is shown.
    LatestRequest lists[3];
    int remembered[3] = { -1, -1, -1 };
    QString guessTitle;
    // The stored region whose ids the lists no longer hold.
    Region stale;
    bool haveStale = false;
};
