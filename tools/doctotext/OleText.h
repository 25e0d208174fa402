#pragma once

#include "Extraction.h"

#include <QString>

class TextSink;

// Whether every sector chain that leads to the text of this compound file stays inside the
// file and ends; the catdoc tools loop forever on one that does not.
bool compoundFileSound(const QString& path);

// Old binary Word, Excel and PowerPoint files, read by the system's catdoc tools.
Outcome extractOleText(Kind kind, const QString& path, TextSink& sink);
