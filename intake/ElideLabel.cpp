#include "intake/ElideLabel.h"

#include <QFontMetrics>
#include <QLabel>

void elideLabel(QWidget* parent, int width, const QString& objectName)
{
    if (!parent)
        return;
    const auto labels = parent->findChildren<QLabel*>(objectName);
    for (QLabel* label : labels) {
        const QString full = label->toolTip();
        const QFontMetrics metrics(label->font());
        QString text = full;
        if (metrics.horizontalAdvance(full) >= width)
            text = metrics.elidedText(full, Qt::ElideRight, width);
        label->setText(text);
    }
}
