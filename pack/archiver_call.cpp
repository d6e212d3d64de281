#include "pack/archiver_call.h"

#include "platform/platform.h"

#include <QByteArray>

#include <cstdlib>

namespace sqs {

QString QuoteIfNeeded(const QString& text) {
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char(' ')))
        return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

QString WithTrailingBackslash(const QString& text) {
    QString trimmed = text;
    while (trimmed.endsWith(QLatin1Char(' '))) trimmed.chop(1);
    return trimmed.endsWith(QLatin1Char('/')) ? trimmed : trimmed + QLatin1Char('/');
}

QString uncarriablePathReason(const QString& path) {
    if (path.contains(QLatin1Char('"')) || path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r')))
        return QStringLiteral("「\"」や改行を含むパスは書庫ライブラリに渡せません。");
    return {};
}

namespace {

// A field of the command text: the library also parts fields at a tab, so
// a path with one is quoted too (else "x<TAB>y.lzh" would write to "x" and
// take "y.lzh" for a file to pack).
QString commandField(const QString& text) {
    const QString quoted = QuoteIfNeeded(text);
    return quoted == text && text.contains(QLatin1Char('\t')) ? QLatin1Char('"') + text + QLatin1Char('"') : quoted;
}

}  // namespace

QString archiverCommandText(const QString& archive, const QString& baseFolder, const QString& responseArgument) {
    return QStringLiteral("u -a1 -r2 -x1 -l1 -jp1 -o2 ") + commandField(archive) + QLatin1Char(' ') +
           commandField(WithTrailingBackslash(baseFolder)) + QLatin1Char(' ') + commandField(responseArgument) +
           QLatin1Char(' ');
}

std::int16_t ArchiverLibrary::RunArchiver(std::int32_t window, const QString& archive, const QString& baseFolder,
                                          const QString& responseArgument) {
    if (!entry_) {
        QString error;
        entry_ = reinterpret_cast<Entry>(platform_.loadLibrarySymbol(QString::fromLatin1(kLibraryName), "Unlha", error));
        if (!entry_) platform_.fail(QStringLiteral("書庫ライブラリの読み込み"), QString::fromLatin1(kLibraryName), error);
    }
    const QByteArray command = archiverCommandText(archive, baseFolder, responseArgument).toLocal8Bit();
    char output[kOutputSize] = {};
    const int status = entry_(window, command.constData(), output, kOutputSize);
    return status == 0 ? -1 : 0;
}

}  // namespace sqs
