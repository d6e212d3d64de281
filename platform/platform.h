#pragma once

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sqs::files {
class PieceAhead;
}

class QDialog;
class QWidget;

namespace sqs {

// Message-box styles, as Windows message-box flags.
enum MessageStyle : int {
    StyleError = 16,              // error icon, OK
    StyleWarning = 48,            // warning icon, OK
    StyleInformation = 64,        // information icon, OK
    StyleQuestionYesNo = 36,      // question icon, Yes/No
    StyleInformationYesNo = 68,   // information icon, Yes/No
};

// Message-box answers.
enum MessageAnswer : int { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };

// What a name lookup admits: ordinary files only, or directories too.
enum class LookupAttribute : int { FilesOnly = 0, WithDirectories = 16 };

// File attributes that can be set: normal or hidden.
enum class FileAttribute : int { Normal = 0, Hidden = 2 };

// A window the program can unload: unloading closes it and runs its handler.
class Window {
public:
    virtual ~Window() = default;
    virtual QWidget& widget() = 0;
    virtual void onUnload() = 0;
};

// The outcome of a file operation: empty on success, else the system's reason.
struct FileResult {
    QString error;
    explicit operator bool() const { return error.isEmpty(); }
    static FileResult ok() { return {}; }
    static FileResult failed(QString reason) { return {std::move(reason)}; }
};

// One entry of a save dialog's type list; "*.*" stands for every file.
struct FileFilter {
    QString description;
    QString pattern;
};

// A path whose name on disk is not valid UTF-8 reaches the program with
// U+FFFD in place of the bad bytes, so no file of that name can be opened;
// such paths are refused with this reason instead of "no such file".
bool hasUndecodableName(const QString& path);
QString undecodableNameReason();

// Every service the program takes from the window system and the operating
// system. Only platform/ implements it; tests use a fake.
class Platform {
public:
    Platform();
    virtual ~Platform();

    // --- windows and messages ---
    virtual int messageBox(const QString& text, int style, const QString& title) = 0;
    virtual void showModal(QDialog& dialog) = 0;
    virtual void showModeless(QWidget& window) = 0;
    virtual void unload(Window& window) = 0;
    // Ends the program at once: no unload handler runs, nothing is saved.
    [[noreturn]] virtual void terminate() = 0;
    virtual void yield() = 0;
    // Asks for a file name to save under; empty text when cancelled.
    virtual QString saveFileName(const QString& proposedName, const std::vector<FileFilter>& filters,
                                 const QString& initialFolder) = 0;
    // The window's handle as the archiver library takes it (0: none).
    virtual std::int32_t windowHandle(QWidget& window) {
        (void)window;
        return 0;
    }

    // --- process and environment ---
    virtual bool previousInstance() = 0;
    // Where the settings file and the response file live: the executable's
    // folder, or the per-user folder for an installed copy and when the
    // executable's folder is not writable.
    virtual QString programFolder() = 0;
    // True when programFolder() is the per-user folder, not the executable's.
    virtual bool programFolderIsPerUser() { return false; }
    virtual QString currentFolder() = 0;
    virtual QStringList commandLine() = 0;
    virtual double logicalDpi() = 0;
    virtual std::vector<QRect> screens() = 0;
    // Resolves a C entry point of a shared library that lies beside the
    // program; nullptr with a reason on failure. A loaded library stays loaded.
    virtual void* loadLibrarySymbol(const QString& libraryName, const char* symbol,
                                    QString& error) = 0;

    // --- names and files (real file system unless a fake overrides) ---
    virtual QString nameLookup(const QString& path, LookupAttribute attribute);
    virtual std::optional<std::int64_t> fileLength(const QString& path, QString& error);
    // Changes whenever the file is written to (see files::changeStamp); empty
    // when it cannot be looked at.
    virtual QString changeStamp(const QString& path);
    // The file a path leads to (links followed), as text that two paths
    // share only when they lead to one file; empty when there is none.
    virtual QString fileIdentity(const QString& path);
    virtual FileResult setAttributes(const QString& path, FileAttribute attribute);
    virtual FileResult deleteFile(const QString& path);
    virtual FileResult writeTextFile(const QString& path, const QByteArray& text);
    virtual FileResult readBlock(const QString& path, std::int64_t offset, char* buffer,
                                 std::int64_t size);
    virtual FileResult writeWholeFile(const QString& path, const char* data, std::int64_t size);
    // A new file at `path` (placed like writeWholeFile) with `size` bytes of
    // `source` from `offset`, copied in the kernel where it can be.
    // `sourceFailed` tells a read fault from a write fault.
    virtual FileResult copyToNewFile(const QString& source, std::int64_t offset, std::int64_t size,
                                     const QString& path, bool& sourceFailed);
    // Says which copyToNewFile comes next, so that its file can be made
    // ready beside the one in hand.
    void expectCopy(const QString& source, std::int64_t offset, std::int64_t size, const QString& path);
    virtual std::optional<QByteArray> readWholeFile(const QString& path);
    virtual FileResult replaceFileAtomically(const QString& path, const QByteArray& bytes);

    // Reports a failed platform operation (what, where, why) and terminates.
    [[noreturn]] void fail(const QString& operation, const QString& path, const QString& reason);

    // Marks the run as failed once a failure has been shown: the program
    // then ends with a non-zero status, whether it terminates or closes.
    void markFailed() { failed_ = true; }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
    std::unique_ptr<files::PieceAhead> ahead_;   // made at the first expectCopy
};

}  // namespace sqs
