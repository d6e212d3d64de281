#pragma once

#include <QString>

namespace sqs {

class Platform;
struct AppState;

// Splits one file into numbered pieces beside it and writes the script that
// joins them back.
class Splitter {
public:
    explicit Splitter(Platform& platform) : platform_(platform) {}

    // Counts the pieces, refuses a file that needs no split (ending the
    // program), asks when the options say so, then writes the pieces.
    // A path that is no readable regular file gets an error message.
    void SplitFile(const QString& path, const AppState& state);

    // Writes every piece with the progress dialog showing, then the script.
    void WritePieces(const QString& path);

private:
    Platform& platform_;
};

}  // namespace sqs
