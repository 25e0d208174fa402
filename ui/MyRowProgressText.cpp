#include "ui/MyRowProgressText.h"

#include "intake/FileTypes.h"

#include <QElapsedTimer>
#include <QStyle>
#include <QTimer>
#include <QVariant>

MyRowProgressText::MyRowProgressText(QWidget* parent)
    : QLabel(parent)
{
    setObjectName("progress_reading");
    setTextFormat(Qt::PlainText);
    // Counts down between reports and hides the figure when the upload stalls.
    tick = new QTimer(this);
    tick->setInterval(1000);
    connect(tick, &QTimer::timeout, this, &MyRowProgressText::refresh);
}

qint64 MyRowProgressText::nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

QString MyRowProgressText::timeLeftText(qint64 seconds)
{
    if (seconds < 0)
        return QString();
    if (seconds < 60)
        return QStringLiteral("剩余约%1秒").arg(qMax<qint64>(1, seconds));
    if (seconds < 3600)
        return QStringLiteral("剩余约%1分%2秒").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("剩余约%1小时%2分").arg(seconds / 3600).arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'));
}

QString MyRowProgressText::readingText(qint64 loaded, qint64 total, qint64 secondsLeft)
{
    const int percent = total > 0 ? int(qBound<qint64>(0, loaded * 100 / total, 100)) : 0;
    QString text = QStringLiteral("%1%  %2 / %3")
                       .arg(percent)
                       .arg(sizeText(quint64(qMax<qint64>(0, loaded))), sizeText(quint64(qMax<qint64>(0, total))));
    const QString left = timeLeftText(secondsLeft);
    if (!left.isEmpty())
        text += QStringLiteral("  ") + left;
    return text;
}

void MyRowProgressText::showState(qint64 loaded, qint64 total, Phase phase)
{
    if (phase != Phase::Uploading)
        estimate.reset();
    if (phase == Phase::Uploading && (current != Phase::Uploading || loaded != loadedBytes))
        estimate.sample(nowMs(), loaded);
    loadedBytes = loaded;
    totalBytes = total;
    current = phase;
    if (phase == Phase::Uploading)
        tick->start();
    else
        tick->stop();
    refresh();
}

void MyRowProgressText::refresh()
{
    const bool succeeded = current == Phase::Succeeded;
    if (property("succeeded").toBool() != succeeded) {
        setProperty("succeeded", succeeded);
        style()->unpolish(this);
        style()->polish(this);
    }
    if (current == Phase::Succeeded) {
        setText(QStringLiteral("上传成功"));
    } else {
        const qint64 left = current == Phase::Uploading
            ? estimate.secondsLeft(nowMs(), qMax<qint64>(0, totalBytes - loadedBytes))
            : -1;
        setText(readingText(loadedBytes, totalBytes, left));
    }
}
