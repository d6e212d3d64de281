#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lzh {

// The static-Huffman sliding-window methods.
struct MethodParameters {
    int dictionaryBits;   // window of 2^bits bytes
    int offsetCodes;      // NP: offset classes sent in the P table
    int offsetBits;       // PBIT: bits of the P table's count field
};

enum class Method { Lh0, Lh4, Lh5, Lh6, Lh7, Lhd };

std::optional<Method> methodFromId(const std::string& id);   // "-lh5-" and so on
const char* methodId(Method method);
MethodParameters parameters(Method method);

// Alphabet sizes and limits of the block format.
constexpr int kLiterals = 256;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;
constexpr int kCodeSymbols = kLiterals + kMaxMatch - kMinMatch + 1;   // NC = 510
constexpr int kTableSymbols = 19;                                    // NT
constexpr int kTableBits = 5;                                        // TBIT
constexpr int kCodeBits = 9;                                         // CBIT
constexpr int kMaxBlockSymbols = 65535;

}  // namespace lzh
