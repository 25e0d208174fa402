#pragma once

#include <QString>

// The application directory; VANTREL_APPDIR replaces it (tests point it at the build's bin/).
QString appDir();
