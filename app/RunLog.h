#pragma once

#include <QString>

// One line to today's run log of the given level, from any thread. Failures are silent.
void writeLog(const QString& message, int level = 0);

// Deletes run logs of the data directory older than `days` whole days (by Clock::now()).
void purgeOldLogs(int days = 15);
