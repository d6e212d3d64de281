#include "split/split_plan.h"

namespace sqs {

std::int64_t pieceCount(std::int64_t length) {
    std::int64_t n = length / PieceSize;
    if (length != n * PieceSize) ++n;
    return n;
}

std::int64_t pieceLength(std::int64_t length, std::int64_t i) {
    return i < pieceCount(length) ? PieceSize : length - (i - 1) * PieceSize;
}

QString pieceSuffix(std::int64_t i) { return QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')); }

QString pieceName(const QString& path, std::int64_t i) { return path + QLatin1Char('.') + pieceSuffix(i); }

QString progressText(std::int64_t i, std::int64_t n) { return QStringLiteral("%1 / %2").arg(i).arg(n); }

QString splitQuestion(const QString& path, std::int64_t n) {
    return QStringLiteral("\"%1\"を\r\n%2個のファイルに分割します。\r\n\r\nよろしいですか？")
        .arg(path, QString::number(n));
}

}  // namespace sqs
