#pragma once

#include "widgets/BaseWindow.h"

class QHBoxLayout;
class QLabel;
class QListWidget;
class QVBoxLayout;

// Frameless dialog with a separator under its title row and one above its button row.
class BaseDialog : public BaseWindow
{
    Q_OBJECT

public:
    explicit BaseDialog(QWidget* parent = nullptr);

    static constexpr int kTitleLineY = 54;
    static constexpr int kButtonLineOffset = 58; // from the bottom

    // Starts the dialog's frame: sets the window title, gives the dialog a margin-less
    // vertical layout and puts the title row ("dialog_title", 20 px in from the left) in it,
    // above the line the dialog paints. The layout is returned for the body and the buttons.
    QVBoxLayout* buildTitleFrame(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

    // The frame of a dialog that shows one table: the title row above the line, a body with
    // 20 px margins (its layout is returned for the table) and under it a right-aligned
    // "关闭 " button (object name "bottom_close_btn") that closes the dialog.
    QVBoxLayout* buildTableFrame(const QString& title);
    // The header row of the table ("t_head") added to `body`, and one row ("t_row", 28 px
    // high) appended to `list`; the caller fills their layouts with the columns.
    static QHBoxLayout* addTableHead(QVBoxLayout* body);
    static QHBoxLayout* addTableRow(QListWidget* list);
    // A label of fixed width with centred text, for the narrow columns of a table.
    static QLabel* columnLabel(const QString& text, int width, QWidget* parent);
};
