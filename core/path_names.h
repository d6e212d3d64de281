#pragma once

#include <QString>

namespace sqs {

class Platform;

// Rebuilds an absolute path from the names the file system stores for each of
// its components. A relative path is first made absolute against the current
// folder; a component the lookup does not find keeps its given spelling.
// A folder comes back with a closing "/".
QString ExpandLongPath(Platform& platform, const QString& path);

// Replaces the extension after the last "." (searched over the whole path);
// a path ending in "/" becomes a file of the folder's name beside it. A path
// with neither gets "." and the extension appended.
QString ChangeExtension(const QString& path, const QString& ext);

// The text after the last "/"; empty for a path ending in "/".
QString FileNamePart(const QString& path);

}  // namespace sqs
