#include "form/MyLinkDistrictWidget.h"

#include "net/MyDAO.h"
#include "net/MyOptionItem.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QListView>
#include <QPointer>

namespace {

const char* const kTags[] = { "province", "city", "county" };
const char* const kPlaceholders[] = { "请选择省/市", "请选择市/区", "请选择县/街道" };
// Marks the item that stands for a stored region the lists no longer contain.
constexpr int StaleRole = Qt::UserRole + 10;

QString bareName(QString name)
{
    return name.remove("省").remove("市");
}

} // namespace

MyLinkDistrictWidget::MyLinkDistrictWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    for (int level = Province; level <= County; ++level) {
        auto* combo = new QComboBox(this);
        combo->setMinimumWidth(120);
        combo->setView(new QListView(combo));
        combos[level] = combo;
        layout->addWidget(combo);
        connect(combo, QOverload<int>::of(&QComboBox::activated), this,
                [this, level](int index) { picked(Level(level), index); });
    }
    layout->addStretch();
    fill(Province, {});
    clearFrom(City);
}

void MyLinkDistrictWidget::fill(Level level, const QJsonArray& data)
{
    QComboBox* combo = combos[level];
    combo->clear();
    addOption(combo, MyOptionItem { kPlaceholders[level], -1 });
    if (level == Province)
        addOption(combo, MyOptionItem { "全国", 0 });
    for (const MyOptionItem& item : readDistricts(data))
        addOption(combo, item);
}

QList<MyOptionItem> MyLinkDistrictWidget::readDistricts(const QJsonArray& data)
{
    QList<MyOptionItem> items;
    for (const QJsonValue& v : data) {
        const QJsonObject o = v.toObject();
        bool ok = false;
        const int id = o.value("id").toVariant().toString().toInt(&ok);
        if (!ok || !o.value("name").isString())
            continue;
        items.append(MyOptionItem { o.value("name").toString(), id });
    }
    return items;
}

void MyLinkDistrictWidget::clearFrom(Level level)
{
    for (int l = level; l <= County; ++l) {
        lists[l].dropAll();
        combos[l]->clear();
        combos[l]->hide();
    }
}

void MyLinkDistrictWidget::request(Level level, int upid, bool guess)
{
    const LatestRequest::Ticket gen = lists[level].next();
    QPointer<MyLinkDistrictWidget> self(this);
    MyDAO::instance()->getDistrictNetData(kTags[level], upid, [self, level, gen, guess](QJsonArray data) {
        if (self && self->lists[level].isCurrent(gen))
            self->listArrived(level, data, guess);
    });
}

void MyLinkDistrictWidget::listArrived(Level level, const QJsonArray& data, bool guess)
{
    if (level == Province) {
        fill(Province, data);
        clearFrom(City);
    } else {
        clearFrom(level);
        if (data.isEmpty() && remembered[level] == -1)
            return;
        fill(level, data);
        combos[level]->show();
    }
    QComboBox* combo = combos[level];

    if (guess) {
        int hit = -1;
        for (int i = 0; i < combo->count() && hit < 0; ++i) {
            const QString name = bareName(combo->itemText(i));
            if (!name.isEmpty() && guessTitle.contains(name))
                hit = i;
        }
        if (level == Province)
            emit s_autoFillResult(hit >= 0);
        if (hit < 0)
            return;
        combo->setCurrentIndex(hit);
        const int value = optionValueAt(combo, hit);
        if (level < County && value > 0)
            request(Level(level + 1), value, true);
        return;
    }

    const int wanted = remembered[level];
    if (wanted == -1)
        return;
    remembered[level] = -1;
    int index = -1;
    for (int i = 0; i < combo->count() && index < 0; ++i) {
        if (optionValueAt(combo, i) == wanted)
            index = i;
    }
    if (index < 0) {
        index = markStale(level, wanted);
        combo->show();
        combo->setCurrentIndex(index);
        return;
    }
    combo->setCurrentIndex(index);
    picked(level, index);
}

// Adds an item for a stored id the list lacks, named after the stored region, so that the
// author sees what was chosen and reading the pickers gives the stored values back.
int MyLinkDistrictWidget::markStale(Level level, int id)
{
    QComboBox* combo = combos[level];
    const QString name = stale.name.isEmpty() ? QString("原选地区（编号%1）").arg(id) : stale.name;
    addOption(combo, MyOptionItem { name, id });
    const int index = combo->count() - 1;
    combo->setItemData(index, true, StaleRole);
    for (int l = level + 1; l <= County; ++l)
        remembered[l] = -1;
    return index;
}

void MyLinkDistrictWidget::picked(Level level, int index)
{
    if (level == County)
        return;
    const int value = optionValueAt(combos[level], index);
    const bool staleItem = combos[level]->itemData(index, StaleRole).toBool();
    clearFrom(Level(level + 1));
    if (value <= 0 || staleItem) {
        // Nothing below this choice: ids still waiting for a lower list are void.
        for (int l = level + 1; l <= County; ++l)
            remembered[l] = -1;
        return;
    }
    request(Level(level + 1), value, false);
}

void MyLinkDistrictWidget::autoFillByTitle(QString title)
{
    guessTitle = title;
    remembered[Province] = remembered[City] = remembered[County] = -1;
    clearFrom(City);
    request(Province, 0, true);
}

void MyLinkDistrictWidget::setRegion(int province, int city, int county, const QString& storedName)
{
    // 0 is no region below a province (the record's "none" for city and county).
    remembered[Province] = province;
    remembered[City] = city > 0 ? city : -1;
    remembered[County] = county > 0 ? county : -1;
    stale = Region { province, city, county, storedName };
    haveStale = true;
    request(Province, 0, false);
}

MyLinkDistrictWidget::Region MyLinkDistrictWidget::region() const
{
    Region r;
    for (int level = Province; level <= County; ++level) {
        QComboBox* combo = combos[level];
        if (combo->isHidden() || combo->count() == 0)
            break;
        if (haveStale && combo->currentData(StaleRole).toBool())
            return stale;
        const int value = optionValue(combo);
        (level == Province ? r.province : level == City ? r.city : r.county) = value;
        if (value == -1)
            break;
        r.name += combo->currentText();
    }
    return r;
}
