#include "intake/ArchiveEntry.h"

#include "intake/ExternalTools.h"

#include <QRegularExpression>

namespace {

// Column layout of the listing table: "yyyy-MM-dd hh:mm:ss aaaaa ssssssssssss cccccccccccc  name".
constexpr int kTimeAt = 11;
constexpr int kAttrAt = 20;
constexpr int kSizeAt = 26;
constexpr int kNameAt = 53;

bool hasTableLayout(const QString& line)
{
    return line.size() > kNameAt && line.at(kAttrAt - 1) == ' ' && line.at(kSizeAt - 1) == ' '
        && line.at(kNameAt - 2) == ' ' && line.at(kNameAt - 1) == ' ';
}

} // namespace

QList<ArchiveEntry> parseArchiveEntries(const QString& lines, int maxLines)
{
    QList<ArchiveEntry> entries;
    const QStringList all = outputLines(lines);
    for (const QString& line : all) {
        if (entries.size() >= maxLines)
            break;
        if (line.trimmed().isEmpty())
            continue;
        ArchiveEntry e;
        if (hasTableLayout(line)) {
            e.date = line.left(kTimeAt - 1).trimmed();
            e.time = line.mid(kTimeAt, 8).trimmed();
            e.attr = line.mid(kAttrAt, 5).trimmed();
            e.size = line.mid(kSizeAt, 12).trimmed().toLongLong();
            e.name = line.mid(kNameAt);
        } else {
            // Not the usual layout: four columns, a compressed size, then the name as it stands.
            static const QRegularExpression rx(R"(^\s*(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s+\S+\s+(.*)$)");
            const auto m = rx.match(line);
            if (!m.hasMatch())
                continue;
            e.date = m.captured(1);
            e.time = m.captured(2);
            e.attr = m.captured(3);
            e.size = m.captured(4).toLongLong();
            e.name = m.captured(5);
        }
        entries.append(e);
    }
    return entries;
}
