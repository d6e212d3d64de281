#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace sqs {

// The program's two pieces of run-wide state.
struct AppState {
    // The five options, stored as OPTION1..OPTION5; normally "ON" or "OFF",
    // but any text read from the settings file is kept unchanged.
    std::array<QString, 5> optionFlags;
    // -1 while a pack-then-split job runs, 0 otherwise.
    std::int16_t chainMode = 0;
};

// Indices into AppState::optionFlags.
enum OptionIndex : int {
    QuitAfterSplit = 0,
    QuitAfterPack = 1,
    QuitAfterPackSplit = 2,
    NoQuestionInChain = 3,   // asks before the split of a pack-then-split only when "OFF"
    NoQuestionInSplit = 4,   // asks before a plain split only when "OFF"
};

}  // namespace sqs
