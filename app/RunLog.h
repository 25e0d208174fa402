#pragma once

#include <QString>

// One line to today's run log of the given level, from any thread. Failures are silent.
// Values of secrets (token, password, encryptkey, remember_encrypt_key) in URL query items
// and JSON texts are written as "***".
void writeLog(const QString& message, int level = 0);

// Deletes run logs of the data directory older than `days` whole days (by Clock::now()).
void purgeOldLogs(int days = 15);

// The message as the run log writes it, secrets masked, before the 200-character cut.
QString redactSecrets(const QString& message);
