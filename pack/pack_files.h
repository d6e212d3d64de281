#pragma once

#include "pack/archiver_call.h"

#include <QString>
#include <QStringList>

namespace sqs {

class Platform;

// The pack job: confirm the list, ask for the archive's name, write the
// list file, have the archiver build the archive, clean up.
class Packer {
public:
    explicit Packer(Platform& platform) : platform_(platform), archiver_(platform) {}

    // Returns the archive path, also when the archiver failed. Ends the
    // program when the user declines the list or gives no name. `window`
    // (0: none) owns the archiver's own windows.
    QString PackFiles(const QStringList& entries, std::int32_t window = 0);

private:
    Platform& platform_;
    ArchiverLibrary archiver_;
};

// The save dialog: the proposed name, the filter text ("description|pattern|"
// pairs) and the folder it opens in; the chosen path or empty text.
QString AskSaveName(Platform& platform, const QString& proposedName, const QString& filter, const QString& initialFolder);

// The folder the save dialog opens in: the program folder when the program
// keeps its files beside itself, else the folder of the first entry, so that
// an archive never lands in the per-user settings folder by default.
QString saveFolder(Platform& platform, const QStringList& entries);

// The confirmation text for the listed entries.
QString packQuestion(const QStringList& entries);

// Base folder and list-file text for the entries: the first entry's folder
// and each entry's stored name, quoted as needed, one a line with CR LF.
// An entry the list cannot name is never left out or named otherwise: it
// is the refused entry (with the reason), or the list is incomplete.
struct PackList {
    QString baseFolder;
    QString responseText;
    bool vanished = false;   // an entry no longer exists
    QString refused;         // the first entry whose name the list cannot carry
    QString refusedReason;
    bool complete() const { return !vanished && refused.isEmpty(); }
};
PackList packList(Platform& platform, const QStringList& entries);

}  // namespace sqs
