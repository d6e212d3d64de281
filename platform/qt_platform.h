#pragma once

#include "platform/platform.h"

#include <QLockFile>
#include <QString>

#include <map>
#include <memory>
#include <optional>

class QLibrary;

namespace sqs {

// The platform services on Qt and Linux.
class QtPlatform final : public Platform {
public:
    QtPlatform();
    // A platform whose program lives in the given folder (tests).
    explicit QtPlatform(QString executableFolder);
    ~QtPlatform() override;

    int messageBox(const QString& text, int style, const QString& title) override;
    void showModal(QDialog& dialog) override;
    void showModeless(QWidget& window) override;
    void unload(Window& window) override;
    [[noreturn]] void terminate() override;
    void yield() override;
    QString saveFileName(const QString& proposedName, const std::vector<FileFilter>& filters,
                         const QString& initialFolder) override;
    std::int32_t windowHandle(QWidget& window) override;

    bool previousInstance() override;
    QString programFolder() override;
    bool programFolderIsPerUser() override;
    QString currentFolder() override;
    QStringList commandLine() override;
    // The program's own arguments, where the toolkit was not shown them all
    // (see main): commandLine() gives these instead of the toolkit's.
    void setCommandLine(QStringList arguments) { commandLine_ = std::move(arguments); }
    double logicalDpi() override;
    std::vector<QRect> screens() override;
    void* loadLibrarySymbol(const QString& libraryName, const char* symbol, QString& error) override;

    // The file the install step leaves beside an installed program.
    static constexpr const char* kInstalledMarker = "installed";

private:
    QString executableFolder_;
    std::optional<QStringList> commandLine_;
    std::unique_ptr<QLockFile> instanceLock_;
    std::map<QString, std::unique_ptr<QLibrary>> libraries_;
};

}  // namespace sqs
