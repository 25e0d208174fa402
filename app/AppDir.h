#pragma once

#include <QString>

// The application directory; VANTREL_APPDIR replaces it (tests point it at the build's bin/).
QString appDir();

// Whether this user may change the programs in the application directory. A tree installed
// by the system's package manager is not: the package manager updates it, not velwick.
bool appDirWritable();
