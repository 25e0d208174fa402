#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

// The {text, value} carried by every combo-box item of the program.
struct MyOptionItem
{
    QString text;
    int value = 0;
};

Q_DECLARE_METATYPE(MyOptionItem)

// Helpers for any combo box (templates, so the engine needs no widget headers).

template <class Combo> void addOption(Combo* combo, const MyOptionItem& item)
{
    combo->addItem(item.text, QVariant::fromValue(item));
}

template <class Combo> int optionValueAt(const Combo* combo, int index)
{
    const QVariant data = combo->itemData(index);
    return data.template canConvert<MyOptionItem>() ? data.template value<MyOptionItem>().value : 0;
}

// Value of the current item; 0 when it carries none.
template <class Combo> int optionValue(const Combo* combo)
{
    return optionValueAt(combo, combo->currentIndex());
}

// Makes each item with this value current in turn and reports it as a choice (activated),
// as if the author had picked it; the last such item stays current. Returns false (and
// changes nothing) when no item has the value.
template <class Combo> bool selectOptionValue(Combo* combo, int value)
{
    bool found = false;
    for (int i = 0; i < combo->count(); ++i) {
        if (!combo->itemData(i).template canConvert<MyOptionItem>() || optionValueAt(combo, i) != value)
            continue;
        found = true;
        combo->setCurrentIndex(i);
        emit combo->activated(i);
    }
    return found;
}
