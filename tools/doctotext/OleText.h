#pragma once

#include "Extraction.h"

#include <QString>

class TextSink;

// Old binary Word, Excel and PowerPoint files, read by the system's catdoc tools.
Outcome extractOleText(Kind kind, const QString& path, TextSink& sink);
