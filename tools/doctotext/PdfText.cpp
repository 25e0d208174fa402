#include "PdfText.h"

#include "TextSink.h"

#include <QFile>
#include <memory>
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

namespace {

void quiet(const std::string&, void*) { }

} // namespace

Outcome extractPdfText(const QString& path, TextSink& sink)
{
    // The library's complaints about broken files are no use to the caller.
    poppler::set_debug_error_function(quiet, nullptr);
    std::unique_ptr<poppler::document> document(
        poppler::document::load_from_file(QFile::encodeName(path).toStdString()));
    if (!document)
        return Outcome::Damaged;
    if (document->is_locked())
        return Outcome::Encrypted;
    const int pages = document->pages();
    for (int i = 0; i < pages && !sink.full(); ++i) {
        std::unique_ptr<poppler::page> page(document->create_page(i));
        if (!page)
            continue;
        const poppler::ustring text = page->text();
        sink.addLines(QString::fromUtf16(reinterpret_cast<const char16_t*>(text.data()), int(text.size())));
    }
    return Outcome::Ok;
}
