#include "intake/TextExtraction.h"

#include "intake/ExternalTools.h"

#include <QRegularExpression>

QString normaliseExtractedText(const QString& text)
{
    static const QRegularExpression spaces(" {2,}");
    static const QRegularExpression crlfs("(\r\n){2,}");
    static const QRegularExpression tabs("(\t){2,}");
    QString out = text;
    out.replace(spaces, " ");
    out.replace(crlfs, "\r\n");
    out.replace(tabs, "\t");
    return out.trimmed();
}

void extractDocumentText(const QString& filePath, std::function<void(QString)> callback)
{
    // A missing, crashed or hanging converter yields the empty text, which the form treats as
    // a failed extraction; the form always gets its one answer.
    ToolRun::start(converterProgram(), { filePath }, converterTimeoutMs(),
                   [callback](const QByteArray& output, bool ok) {
                       const QString text = ok ? normaliseExtractedText(utf8UntilZero(output)) : QString();
                       if (callback)
                           callback(text);
                   });
}
