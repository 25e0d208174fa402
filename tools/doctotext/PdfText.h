#pragma once

#include "Extraction.h"

#include <QString>

class TextSink;

// Page texts of a PDF file, one line per text line, pages in order.
Outcome extractPdfText(const QString& path, TextSink& sink);
