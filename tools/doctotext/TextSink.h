#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Collects the UTF-8 text that is printed at the end. Bounded: a small document can still expand
// enormously (one shared string referenced by a million cells), so everything past the limit is
// dropped and the extractors stop early once the sink is full.
class TextSink
{
public:
    static constexpr int kMaxBytes = 64 * 1024 * 1024;

    explicit TextSink(int maxBytes = kMaxBytes)
        : limit(maxBytes)
    {
    }

    bool full() const { return isFull; }
    const QByteArray& bytes() const { return text; }

    // One paragraph or row; empty ones are left out.
    void addLine(const QString& line)
    {
        if (line.trimmed().isEmpty())
            return;
        append(line.toUtf8());
        append(QByteArray("\r\n"));
    }

    // Text whose line ends are "\n", "\r" or "\r\n": written with "\r\n" throughout.
    void addLines(const QString& block)
    {
        QString normalised = block;
        normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        normalised.replace(QLatin1Char('\f'), QLatin1Char('\n'));
        const QStringList lines = normalised.split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            addLine(line);
            if (isFull)
                return;
        }
    }

private:
    void append(const QByteArray& bytes)
    {
        if (isFull)
            return;
        if (text.size() + bytes.size() <= limit) {
            text.append(bytes);
            return;
        }
        int room = limit - text.size();
        // Never cut a UTF-8 sequence in half.
        while (room > 0 && (static_cast<unsigned char>(bytes[room]) & 0xC0) == 0x80)
            --room;
        text.append(bytes.constData(), room);
        isFull = true;
    }

    QByteArray text;
    int limit;
    bool isFull = false;
};
