// Document-to-text converter used by the client for its duplicate check.
//
//   doctotext <file>
//
// prints the document's plain text as UTF-8, paragraphs ended by "\r\n". The kind of document is
// taken from its content (the name only settles which old Office format an OLE file holds).
// Unknown or damaged input prints nothing and exits non-zero.

#include "Convert.h"
#include "TextSink.h"

#include <QCoreApplication>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

namespace {

const char* reason(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Usage:
        return "usage: doctotext <file>";
    case Outcome::Unreadable:
        return "cannot read the file";
    case Outcome::Unknown:
        return "not a supported document";
    case Outcome::Damaged:
        return "damaged document";
    case Outcome::TooLarge:
        return "document expands beyond the size limit";
    case Outcome::Encrypted:
        return "encrypted document";
    case Outcome::TimedOut:
        return "the converter did not finish in time";
    case Outcome::Ok:
        break;
    }
    return "";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Zip member names are converted through the locale; make sure it can hold any name.
    if (!std::setlocale(LC_ALL, "") || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");

    const QStringList arguments = app.arguments();
    TextSink sink;
    const Outcome outcome = arguments.size() == 2 ? convert(arguments.at(1), sink) : Outcome::Usage;
    if (outcome == Outcome::Ok) {
        std::fwrite(sink.bytes().constData(), 1, static_cast<size_t>(sink.bytes().size()), stdout);
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "doctotext: %s\n", reason(outcome));
    }
    return static_cast<int>(outcome);
}
