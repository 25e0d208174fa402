#pragma once

#include <QString>

// Collapses runs of blanks, of CR LF pairs and of tabs in converter output, then trims it.
QString normaliseExtractedText(const QString& text);
