#include "widgets/ElideOnResize.h"

#include <QEvent>
#include <QLabel>
#include <QVariant>

namespace {

const char* const kFullText = "elideFullText";

} // namespace

ElideOnResize::ElideOnResize(QLabel* label)
    : QObject(label)
{
    setObjectName("elide_on_resize");
    label->installEventFilter(this);
}

void ElideOnResize::setText(QLabel* label, const QString& fullText)
{
    if (!label)
        return;
    if (!label->findChild<ElideOnResize*>("elide_on_resize", Qt::FindDirectChildrenOnly))
        new ElideOnResize(label);
    label->setProperty(kFullText, fullText);
    apply(label);
}

QString ElideOnResize::elided(const QLabel* label, const QString& fullText)
{
    const int width = label->contentsRect().width();
    return label->fontMetrics().elidedText(fullText, Qt::ElideRight, qMax(1, width));
}

void ElideOnResize::apply(QLabel* label)
{
    label->setText(elided(label, label->property(kFullText).toString()));
}

bool ElideOnResize::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::Resize || type == QEvent::FontChange || type == QEvent::StyleChange)
        apply(static_cast<QLabel*>(watched));
    return QObject::eventFilter(watched, event);
}
