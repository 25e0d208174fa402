#include "widgets/PlainText.h"

#include <QLabel>
#include <QTextDocument>

QLabel* makePlain(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = makePlain(new QLabel(parent));
    label->setText(text);
    return label;
}

QString plainToolTip(const QString& text)
{
    // Text that would not be taken for markup is shown as it is; the rest is escaped, keeping
    // its blanks and line breaks.
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped());
}

void setPlainToolTip(QWidget* widget, const QString& text)
{
    widget->setToolTip(plainToolTip(text));
}

QString toolTipShownText(const QString& toolTip)
{
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    QTextDocument document;
    document.setHtml(toolTip);
    return document.toPlainText();
}
