#pragma once

#include <QString>

// Where the per-user files live; the run log, the store and the session all start from here.
namespace DataPaths {

// The writable per-user data directory.
QString dataDir();
// The data directory's "tmp/" folder.
QString tmpDir();

} // namespace DataPaths
