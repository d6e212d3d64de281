#include "platform/platform.h"

#include "platform/file_ops.h"
#include "platform/piece_ahead.h"

#include <QFile>

#include <cstdlib>

namespace sqs {
namespace {

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString text(const std::string& s) { return QString::fromLocal8Bit(s); }
FileResult result(const std::string& error) {
    return error.empty() ? FileResult::ok() : FileResult::failed(text(error));
}

}  // namespace

bool hasUndecodableName(const QString& path) { return path.contains(QChar::ReplacementCharacter); }

QString undecodableNameReason() {
    return QStringLiteral("ファイル名に UTF-8 として読めない文字が含まれているため、扱えません。");
}

Platform::Platform() = default;
Platform::~Platform() = default;

QString Platform::nameLookup(const QString& path, LookupAttribute attribute) {
    return QFile::decodeName(QByteArray::fromStdString(
        files::lookupName(native(path), attribute == LookupAttribute::WithDirectories)));
}

std::optional<std::int64_t> Platform::fileLength(const QString& path, QString& error) {
    std::string why;
    auto length = files::length(native(path), why);
    if (!length) error = hasUndecodableName(path) ? undecodableNameReason() : text(why);
    return length;
}

QString Platform::changeStamp(const QString& path) { return text(files::changeStamp(native(path))); }

QString Platform::fileIdentity(const QString& path) { return text(files::fileIdentity(native(path))); }

FileResult Platform::setAttributes(const QString& path, FileAttribute attribute) {
    return result(files::setHidden(native(path), attribute == FileAttribute::Hidden));
}

FileResult Platform::deleteFile(const QString& path) { return result(files::removeFile(native(path))); }

FileResult Platform::writeTextFile(const QString& path, const QByteArray& text) {
    QByteArray line = text + "\r\n";
    return result(files::writeWhole(native(path), line.constData(), line.size()));
}

FileResult Platform::readBlock(const QString& path, std::int64_t offset, char* buffer,
                               std::int64_t size) {
    return result(files::readAt(native(path), offset, buffer, size));
}

FileResult Platform::writeWholeFile(const QString& path, const char* data, std::int64_t size) {
    return result(files::writeWhole(native(path), data, size));
}

FileResult Platform::copyToNewFile(const QString& source, std::int64_t offset, std::int64_t size,
                                   const QString& path, bool& sourceFailed) {
    return result(files::copyInPlaceOf(native(path), native(source), offset, size, sourceFailed, ahead_.get()));
}

void Platform::expectCopy(const QString& source, std::int64_t offset, std::int64_t size, const QString& path) {
    if (!ahead_) ahead_ = std::make_unique<files::PieceAhead>();
    ahead_->prepare(native(source), offset, size, native(path));
}

std::optional<QByteArray> Platform::readWholeFile(const QString& path) {
    auto bytes = files::readAll(native(path));
    if (!bytes) return std::nullopt;
    return QByteArray::fromStdString(*bytes);
}

FileResult Platform::replaceFileAtomically(const QString& path, const QByteArray& bytes) {
    return result(files::replaceAtomically(native(path), bytes.toStdString()));
}

void Platform::fail(const QString& operation, const QString& path, const QString& reason) {
    markFailed();
    messageBox(QStringLiteral("%1に失敗しました。\r\n%2\r\n%3").arg(operation, path, reason),
               StyleError, QStringLiteral("SQS"));
    terminate();
    std::abort();   // terminate never returns
}

}  // namespace sqs
