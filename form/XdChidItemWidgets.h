#pragma once

#include <QWidget>

class QComboBox;

// The school stage / subject pair of combos. The subject list follows the stage the author
// picks (or that is selected by value); a bare index change leaves it alone.
class XdChidItemWidgets : public QWidget
{
    Q_OBJECT

public:
    XdChidItemWidgets(int stage, int subject, QWidget* parent = nullptr);

    // Values of the two current items.
    int stage() const;
    int subject() const;
    // Selects the stage by value (which refills the subjects), then the subject by value.
    void setValue(int stage, int subject);

    QComboBox* stageCombo() const { return xdCombo; }
    QComboBox* subjectCombo() const { return chidCombo; }

    // Stage names by id; the index of a stage in its combo equals its id.
    static QStringList stageNames();

signals:
    void s_changed(int index);

private:
    void fillSubjects(int stage);

    QComboBox* xdCombo = nullptr;
    QComboBox* chidCombo = nullptr;
};
