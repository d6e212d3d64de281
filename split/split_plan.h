#pragma once

#include <QString>

#include <cstdint>

namespace sqs {

// The free space of a formatted 1.44 MB floppy disk: every piece but the last.
constexpr std::int64_t PieceSize = 1457664;

// Pieces of PieceSize bytes that a file of this length makes (the last may be shorter).
std::int64_t pieceCount(std::int64_t length);

// Length of piece i (1-based) of a file of this length.
std::int64_t pieceLength(std::int64_t length, std::int64_t i);

// The suffix of piece i: its number zero-filled to at least three digits.
QString pieceSuffix(std::int64_t i);

// Piece i beside the source: path.001, path.002, ..., path.1000, ...
QString pieceName(const QString& path, std::int64_t i);

// "i / n", as the progress dialog shows it.
QString progressText(std::int64_t i, std::int64_t n);

// The question asked before splitting path into n pieces.
QString splitQuestion(const QString& path, std::int64_t n);

}  // namespace sqs
