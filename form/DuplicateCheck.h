#pragma once

#include <QString>
#include <functional>

// Asks the website whether it already has a file with this fingerprint and calls back,
// on the GUI thread, with the form's check state: 1 the file is new, 2 the site has it.
void checkFingerprint(const QString& md5, std::function<void(int checkState)> callback);
