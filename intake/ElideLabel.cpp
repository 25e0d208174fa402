#include "intake/ElideLabel.h"

#include "widgets/PlainText.h"

#include <QFontMetrics>
#include <QLabel>

void elideLabel(QWidget* parent, int width, const QString& objectName)
{
    if (!parent)
        return;
    const auto labels = parent->findChildren<QLabel*>(objectName);
    for (QLabel* label : labels) {
        // The full text is what the tool tip shows (an escaped tool tip is no text to cut).
        const QString full = toolTipShownText(label->toolTip());
        const QFontMetrics metrics(label->font());
        QString text = full;
        if (metrics.horizontalAdvance(full) >= width)
            text = metrics.elidedText(full, Qt::ElideRight, width);
        label->setText(text);
    }
}
