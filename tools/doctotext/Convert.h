#pragma once

#include "Extraction.h"

#include <QString>

class TextSink;

// The old Office format an OLE compound file holds, by its streams; the name decides only
// between formats whose streams are both there.
Kind oleKind(const QString& path);

// Reads the document at `path` into `sink`; the kind is taken from the content.
Outcome convert(const QString& path, TextSink& sink);
