#include "pack/pack_files.h"

#include "core/path_names.h"
#include "platform/platform.h"

namespace sqs {
namespace {

const QString kLineEnd = QStringLiteral("\r\n");
const QString kFilter = QStringLiteral("書庫ファイル(*.lzh)|*.lzh|;すべてのファイル(*.*)|*.*|");

// Up to and including the last "/"; empty when there is none.
QString folderOf(const QString& path) { return path.left(path.lastIndexOf(QLatin1Char('/')) + 1); }

QString commonFolder(const QStringList& folders) {
    QString common = folders.value(0);
    for (const QString& folder : folders)
        while (!folder.startsWith(common)) common = folderOf(common.left(common.size() - 1));
    return common;
}

// Why the list file cannot carry this entry's name; empty when it can. A
// line break would split it in two, quotes at both ends would be taken off,
// a backslash would be read as a folder separator.
QString unlistableReason(const QString& entry) {
    if (hasUndecodableName(entry)) return undecodableNameReason();
    const QString name = entry.endsWith(QLatin1Char('/')) ? entry.chopped(1) : entry;
    const QString last = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    if (entry.contains(QLatin1Char('\n')) || entry.contains(QLatin1Char('\r')))
        return QStringLiteral("名前に改行を含むファイルは書庫に入れられません。");
    // LZH readers take a backslash for a folder separator.
    if (last.contains(QLatin1Char('\\')))
        return QStringLiteral("名前に「\\」を含むファイルは書庫に入れられません。");
    if (last.size() >= 2 && last.startsWith(QLatin1Char('"')) && last.endsWith(QLatin1Char('"')))
        return QStringLiteral("名前の両端が \" のファイルは書庫に入れられません。");
    return {};
}

// The list reader takes blanks and tabs off both ends of a line: a name
// that starts or ends with a tab keeps it only in quotes (unquoted, a file
// "a.txt<TAB>" would have packed its neighbour "a.txt").
QString listLine(const QString& name) {
    const QString line = QuoteIfNeeded(name);
    if (line != name || !(name.startsWith(QLatin1Char('\t')) || name.endsWith(QLatin1Char('\t')))) return line;
    return QLatin1Char('"') + name + QLatin1Char('"');
}

}  // namespace

QString packQuestion(const QStringList& entries) {
    QStringList lines;
    for (const QString& entry : entries) lines << QLatin1Char('"') + entry + QLatin1Char('"');
    lines << QString() << QStringLiteral("以上%1個のファイルを圧縮します。").arg(entries.size()) << QString()
          << QStringLiteral("よろしいですか？");
    return lines.join(kLineEnd);
}

PackList packList(Platform& platform, const QStringList& entries) {
    PackList list;
    list.baseFolder = folderOf(entries.value(0));
    QStringList folders;
    for (const QString& entry : entries) folders << folderOf(entry);
    // Entries from other folders than the first are named by their path from
    // the folder all of them share; otherwise each name would be looked for
    // in the first entry's folder, packing a wrong file or failing.
    const bool oneFolder = folders.count(folders.value(0)) == folders.size();
    const QString base = oneFolder ? list.baseFolder : commonFolder(folders);
    if (!oneFolder) list.baseFolder = base;
    for (int i = 0; i < entries.size(); ++i) {
        if (QString reason = unlistableReason(entries[i]); !reason.isEmpty()) {
            if (list.refused.isEmpty()) list.refused = entries[i], list.refusedReason = reason;
            continue;
        }
        QString name = platform.nameLookup(entries[i], LookupAttribute::WithDirectories);
        if (name.isEmpty()) {
            list.vanished = true;
            continue;
        }
        if (!oneFolder) {
            const QString below = folders[i].mid(base.size());
            name = name == QLatin1String(".") ? (below.isEmpty() ? name : below.chopped(1)) : below + name;
        }
        list.responseText += listLine(name) + kLineEnd;
    }
    return list;
}

QString AskSaveName(Platform& platform, const QString& proposedName, const QString& filter, const QString& initialFolder) {
    // "description|pattern|" pairs; a leading ";" of a description is a separator, not text.
    const QStringList parts = filter.split(QLatin1Char('|'));
    std::vector<FileFilter> filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        if (description.startsWith(QLatin1Char(';'))) description.remove(0, 1);
        filters.push_back({description, parts[i + 1]});
    }
    return platform.saveFileName(proposedName, filters, initialFolder);
}

QString saveFolder(Platform& platform, const QStringList& entries) {
    if (!platform.programFolderIsPerUser()) return platform.programFolder();
    QString entry = entries.value(0);
    if (entry.size() > 1 && entry.endsWith(QLatin1Char('/'))) entry.chop(1);   // a listed folder
    const QString folder = folderOf(entry);
    return folder.size() > 1 ? folder.chopped(1) : folder;
}

QString Packer::PackFiles(const QStringList& entries, std::int32_t window) {
    const QString title = QStringLiteral("作業確認");
    if (platform_.messageBox(packQuestion(entries), StyleInformationYesNo, title) != AnswerYes) platform_.terminate();

    const QString proposed = FileNamePart(ChangeExtension(entries.value(0), QStringLiteral("lzh")));
    const QString folder = platform_.programFolder();
    const QString archive = AskSaveName(platform_, proposed, kFilter, saveFolder(platform_, entries));
    if (archive.isEmpty()) platform_.terminate();

    const QString responsePath =
        folder.endsWith(QLatin1Char('/')) ? folder + QStringLiteral("responce.txt") : folder + QStringLiteral("/responce.txt");
    PackList list = packList(platform_, entries);
    // The archive, the base folder and the list file are fields of the command text.
    for (const QString& path : {archive, list.baseFolder, responsePath}) {
        if (const QString reason = uncarriablePathReason(path); !reason.isEmpty() && list.refused.isEmpty()) {
            list.refused = path;
            list.refusedReason = reason;
        }
    }
    if (!list.refused.isEmpty())
        platform_.messageBox(QStringLiteral("次のファイルは圧縮できません。\r\n\"%1\"\r\n%2").arg(list.refused, list.refusedReason),
                             StyleError, QStringLiteral("SQS"));
    if (!list.complete()) {
        // Nothing is packed: a vanished or refused entry fails the whole pack.
        platform_.markFailed();
        platform_.messageBox(QStringLiteral("圧縮失敗"), StyleInformation, QStringLiteral("SQS"));
        return archive;
    }
    if (FileResult written = platform_.writeTextFile(responsePath, list.responseText.toLocal8Bit()); !written)
        platform_.fail(QStringLiteral("ファイルの書き込み"), responsePath, written.error);
    if (FileResult hidden = platform_.setAttributes(responsePath, FileAttribute::Hidden); !hidden)
        platform_.fail(QStringLiteral("属性の設定"), responsePath, hidden.error);

    if (archiver_.RunArchiver(window, archive, list.baseFolder, QLatin1Char('@') + responsePath) == 0) {
        platform_.markFailed();
        platform_.messageBox(QStringLiteral("圧縮失敗"), StyleInformation, QStringLiteral("SQS"));
    }

    if (FileResult normal = platform_.setAttributes(responsePath, FileAttribute::Normal); !normal)
        platform_.fail(QStringLiteral("属性の設定"), responsePath, normal.error);
    if (FileResult removed = platform_.deleteFile(responsePath); !removed)
        platform_.fail(QStringLiteral("ファイルの削除"), responsePath, removed.error);
    return archive;
}

}  // namespace sqs
