#pragma once

#include <QString>

class QLabel;
class QWidget;

// Texts from the site, from archives or from the file system are shown as the characters they
// hold, never as markup: a title "<b>x</b>" reads "<b>x</b>" and an "<img src=file:...>" loads
// nothing. Labels showing such texts get Qt::PlainText. Tool tips have no text format of their
// own (Qt renders one as markup whenever it looks like markup), so such a text is escaped first.
// Every label or tool tip that shows a text we did not write goes through these.

// Makes `label` show its texts as plain text, now and after later setText calls; returns it.
QLabel* makePlain(QLabel* label);
// A new label showing `text` as plain text.
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr);
// `text` as a tool tip that shows exactly these characters.
QString plainToolTip(const QString& text);
void setPlainToolTip(QWidget* widget, const QString& text);
// The characters a tool tip shows: `toolTip` itself, or what its markup renders to.
QString toolTipShownText(const QString& toolTip);
