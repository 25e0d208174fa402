#pragma once

// For readers that take a path: the input is written to one scratch file per process, which
// is overwritten by every input and removed when the process ends.

#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <unistd.h>

class FuzzFile
{
public:
    explicit FuzzFile(const char* suffix)
        : path(QDir::tempPath() + QStringLiteral("/vantrel-fuzz-%1%2").arg(getpid()).arg(QLatin1String(suffix)))
        , nativePath(QFile::encodeName(path))
    {
    }
    ~FuzzFile() { std::remove(nativePath.constData()); }

    // Writes the input and returns the file's path (empty when it could not be written).
    QString write(const uint8_t* data, size_t size) const
    {
        std::FILE* file = std::fopen(nativePath.constData(), "wb");
        if (!file)
            return QString();
        const bool whole = size == 0 || std::fwrite(data, 1, size, file) == size;
        return std::fclose(file) == 0 && whole ? path : QString();
    }

private:
    QString path;
    QByteArray nativePath;
};
