#include "core/path_names.h"

#include "platform/platform.h"

#include <QDir>

namespace sqs {
namespace {

constexpr QChar kSeparator = QLatin1Char('/');

// Positions count from 1; 0 means not found.
qsizetype lastPosition(const QString& text, QChar c) { return text.lastIndexOf(c) + 1; }

QString lastComponent(const QString& path) { return path.mid(path.lastIndexOf(kSeparator) + 1); }

QString lookupOrGiven(Platform& platform, const QString& path) {
    QString name = platform.nameLookup(path, LookupAttribute::WithDirectories);
    return name.isEmpty() ? lastComponent(path) : name;
}

}  // namespace

QString ExpandLongPath(Platform& platform, const QString& path) {
    QString rest = path;
    if (!rest.startsWith(kSeparator)) {
        QString current = platform.currentFolder();
        rest = current.endsWith(kSeparator) ? current + rest : current + kSeparator + rest;
        // "." and ".." of the relative path are resolved by name, as the shell does.
        const bool folder = rest.endsWith(kSeparator);
        rest = QDir::cleanPath(rest);
        if (folder && rest.size() > 1) rest += kSeparator;
    }
    // A trailing separator names the folder itself, as without it.
    while (rest.size() > 1 && rest.endsWith(kSeparator)) rest.chop(1);
    const QString full = rest;

    QString tail = platform.nameLookup(full, LookupAttribute::FilesOnly);
    if (tail.isEmpty()) {
        QString folder = platform.nameLookup(full, LookupAttribute::WithDirectories);
        tail = folder.isEmpty() ? lastComponent(full) : folder + kSeparator;
    }
    for (;;) {
        qsizetype p = lastPosition(rest, kSeparator);
        rest = rest.left(p - 1);
        // The root separator stands at position 1; the walk stops there.
        if (p < 2) break;
        tail = lookupOrGiven(platform, rest) + kSeparator + tail;
    }
    return rest + kSeparator + tail;
}

QString ChangeExtension(const QString& path, const QString& ext) {
    qsizetype p = path.endsWith(kSeparator) ? lastPosition(path, kSeparator)
                                            : lastPosition(path, QLatin1Char('.'));
    if (p == 0) return path + QLatin1Char('.') + ext;
    return path.left(p - 1) + QLatin1Char('.') + ext;
}

QString FileNamePart(const QString& path) {
    if (path.isEmpty() || path.endsWith(kSeparator)) return {};
    return lastComponent(path);
}

}  // namespace sqs
