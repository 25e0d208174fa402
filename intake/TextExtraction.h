#pragma once

#include <QString>
#include <functional>

// Collapses runs of blanks, of CR LF pairs and of tabs in converter output, then trims it.
QString normaliseExtractedText(const QString& text);

// Plain text of a document from the converter, normalised; empty on any failure. The answer
// comes later, on the calling thread, exactly once.
void extractDocumentText(const QString& filePath, std::function<void(QString)> callback);
