#include "app/Clock.h"

#include <QMutex>

namespace {
QMutex mutex;
QDateTime fixedNow;
} // namespace

namespace Clock {

QDateTime now()
{
    QMutexLocker lock(&mutex);
    return fixedNow.isValid() ? fixedNow : QDateTime::currentDateTime();
}

qint64 nowSecs()
{
    return now().toSecsSinceEpoch();
}

void setNowForTesting(const QDateTime& fixed)
{
    QMutexLocker lock(&mutex);
    fixedNow = fixed;
}

} // namespace Clock
