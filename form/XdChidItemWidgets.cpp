#include "form/XdChidItemWidgets.h"

#include "net/MyDAO.h"
#include "net/MyOptionItem.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QListView>

namespace {

QComboBox* newCombo(QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setMinimumWidth(120);
    // A list view lets the style sheet size and colour the drop-down items.
    combo->setView(new QListView(combo));
    return combo;
}

} // namespace

QStringList XdChidItemWidgets::stageNames()
{
    return { "请选择学段", "小学", "初中", "高中" };
}

XdChidItemWidgets::XdChidItemWidgets(int stage, int subject, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    xdCombo = newCombo(this);
    chidCombo = newCombo(this);
    layout->addWidget(xdCombo);
    layout->addWidget(chidCombo);
    layout->addStretch();

    const QStringList names = stageNames();
    for (int id = 0; id < names.size(); ++id)
        addOption(xdCombo, MyOptionItem { names.at(id), id });
    addOption(chidCombo, MyOptionItem { "请选择学科", 0 });

    if (stage > 0 && stage < names.size()) {
        xdCombo->setCurrentIndex(stage);
        fillSubjects(stage);
        if (subject != 0) {
            int index = 0;
            for (int i = 0; i < chidCombo->count(); ++i) {
                if (optionValueAt(chidCombo, i) == subject) {
                    index = i;
                    break;
                }
            }
            chidCombo->setCurrentIndex(index);
        }
    }

    connect(xdCombo, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { fillSubjects(optionValueAt(xdCombo, index)); });
    connect(xdCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &XdChidItemWidgets::s_changed);
    connect(chidCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &XdChidItemWidgets::s_changed);
}

void XdChidItemWidgets::fillSubjects(int stage)
{
    chidCombo->clear();
    addOption(chidCombo, MyOptionItem { "请选择学科", 0 });
    if (stage != 0) {
        const QJsonArray subjects
            = MyDAO::instance()->resourceObject().value("chid").toObject().value(QString::number(stage)).toArray();
        for (const QJsonValue& v : subjects) {
            const QJsonObject s = v.toObject();
            // Ids come as decimal strings; anything else reads as 0.
            addOption(chidCombo,
                      MyOptionItem { s.value("subjectName").toString(), s.value("subjectId").toString().toInt() });
        }
    }
    chidCombo->setCurrentIndex(0);
}

int XdChidItemWidgets::stage() const
{
    return optionValue(xdCombo);
}

int XdChidItemWidgets::subject() const
{
    return optionValue(chidCombo);
}

void XdChidItemWidgets::setValue(int stage, int subject)
{
    selectOptionValue(xdCombo, stage);
    selectOptionValue(chidCombo, subject);
}
