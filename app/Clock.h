#pragma once

#include <QDateTime>

// "Now" for retention and housekeeping rules. Tests pin it to check day limits exactly.
namespace Clock {

QDateTime now();
qint64 nowSecs();
// An invalid time returns to the real clock.
void setNowForTesting(const QDateTime& fixed);

} // namespace Clock
