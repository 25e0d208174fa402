#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where the built programs are (the build tree's bin folder, laid out like an installation).
inline QString testBinDir()
{
    return QProcessEnvironment::systemEnvironment().value("VANTREL_TEST_BINDIR");
}

inline QString testSourceDir()
{
    return QProcessEnvironment::systemEnvironment().value("VANTREL_SOURCE_DIR");
}
