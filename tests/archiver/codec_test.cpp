#include "archiver/codec/bit_reader.h"
#include "archiver/codec/bit_writer.h"
#include "archiver/codec/block_encoder.h"
#include "archiver/codec/crc16.h"
#include "archiver/codec/decoder.h"
#include "archiver/codec/encoder.h"
#include "archiver/codec/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <queue>
#include <random>
#include <string>

namespace lzh {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Crc16, CheckValues) {
    struct { std::string data; std::uint16_t crc; } table[] = {
        {"123456789", 0xBB3D}, {"", 0x0000}, {"A", 0x30C0}, {"hello\n", 0x5A34}, {"abcabcabcabc", 0x44DD}};
    for (auto& row : table) {
        auto b = bytes(row.data);
        EXPECT_EQ(crc16(b.data(), b.size()), row.crc) << row.data;
    }
    // Incremental over uneven pieces gives the same as one pass.
    std::vector<std::uint8_t> data(1000);
    std::mt19937 random(3);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    std::uint16_t whole = crc16(data.data(), data.size());
    std::uint16_t parts = crc16(data.data(), 13);
    parts = crc16(data.data() + 13, 500, parts);
    parts = crc16(data.data() + 513, 487, parts);
    EXPECT_EQ(parts, whole);
}

TEST(BitIo, MixedWidthFieldsRoundTrip) {
    BitWriter out;
    struct { unsigned bits; std::uint32_t value; } fields[] = {{1, 1}, {3, 5}, {16, 0xBEEF}, {9, 300}, {5, 0}, {13, 0x1ABC}, {2, 3}};
    for (auto& f : fields) out.put(f.bits, f.value);
    out.flush();
    EXPECT_EQ(out.bytes().size(), 7u);   // 49 bits padded to 56
    BitReader in(out.bytes().data(), out.bytes().size());
    for (auto& f : fields) EXPECT_EQ(in.get(f.bits), f.value);
    EXPECT_EQ(in.get(7), 0u);   // zero padding
    EXPECT_FALSE(in.overrun());
    in.get(1);
    EXPECT_TRUE(in.overrun());
}


// Segments are coded apart and joined: a stream appended at any bit offset,
// with any number of its own bits still in its word, must read as if one
// writer had written both.
TEST(BitIo, JoinedStreamsReadAsOne) {
    std::mt19937 random(7);
    for (unsigned headBits : {0u, 1u, 7u, 8u, 9u, 31u, 32u, 33u, 63u, 100u}) {
        for (unsigned tailBits : {0u, 5u, 8u, 24u, 31u, 32u, 39u, 200u, 1001u}) {
            BitWriter head, tail, whole;
            auto fill = [&](BitWriter& part, unsigned bits) {
                while (bits > 0) {
                    const unsigned n = std::min(bits, 1 + static_cast<unsigned>(random() % 32));
                    const std::uint32_t value = static_cast<std::uint32_t>(random());
                    part.put(n, value);
                    whole.put(n, value);
                    bits -= n;
                }
            };
            fill(head, headBits);
            fill(tail, tailBits);
            head.append(tail);
            EXPECT_EQ(head.bitCount(), whole.bitCount()) << headBits << "+" << tailBits;
            head.flush();
            whole.flush();
            EXPECT_EQ(head.bytes(), whole.bytes()) << headBits << "+" << tailBits;
        }
    }
}
// A run of fields (as a block's symbols go out) after any number of bits
// already written, and plain fields after it, must read as if written
// one by one; the run may be promised no more room than its bits need.
TEST(BitIo, RunOfFieldsReadsAsSingleFields) {
    std::mt19937 random(11);
    for (unsigned before : {0u, 1u, 7u, 8u, 31u, 32u, 45u}) {
        for (unsigned fields : {0u, 1u, 2u, 3u, 1000u}) {
            BitWriter fast, plain;
            for (unsigned b = before; b > 0;) {
                const unsigned n = std::min(b, 13u);
                fast.put(n, 0x1555u);
                plain.put(n, 0x1555u);
                b -= n;
            }
            std::vector<std::pair<unsigned, std::uint64_t>> run;
            std::uint64_t total = 0;
            for (unsigned f = 0; f < fields; ++f) {
                const unsigned n = 1 + static_cast<unsigned>(random() % 47);
                run.emplace_back(n, ((std::uint64_t{random()} << 32) | random()) & ((std::uint64_t{1} << n) - 1));
                total += n;
            }
            fast.putRun(total, [&](BitWriter::Run& r) {
                for (const auto& [n, value] : run) r.put(n, value);
            });
            for (const auto& [n, value] : run) {
                if (n > 32) plain.put(n - 32, static_cast<std::uint32_t>(value >> 32));
                plain.put(std::min(n, 32u), static_cast<std::uint32_t>(value));
            }
            fast.put(5, 0x11);
            plain.put(5, 0x11);
            EXPECT_EQ(fast.bitCount(), plain.bitCount()) << before << " " << fields;
            fast.flush();
            plain.flush();
            EXPECT_EQ(fast.bytes(), plain.bytes()) << before << " " << fields;
        }
    }
}

TEST(Huffman, LengthLimitedCodesStayCompleteAndCanonical) {
    // Fibonacci frequencies force a plain Huffman tree far beyond 16 levels.
    std::vector<std::uint32_t> freq(40);
    std::uint32_t a = 1, b = 1;
    for (auto& f : freq) {
        f = a;
        std::uint32_t c = a + b;
        a = b;
        b = c > 1000000000 ? 1000000000 : c;
    }
    // Any limit, and one below the 6 bits that 40 symbols need (raised to 6);
    // the same from one tree cut to each limit, and its bits weighed from the
    // counts of lengths alone.
    const LimitedCodeLengths fromOneTree(freq);
    for (int limit : {16, 12, 9, 7, 6, 3}) {
        auto lengths = codeLengths(freq, limit);
        EXPECT_EQ(fromOneTree.lengths(fromOneTree.counts(limit)), lengths) << limit;
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < freq.size(); ++i) bits += std::uint64_t{freq[i]} * lengths[i];
        EXPECT_EQ(fromOneTree.codeBits(fromOneTree.counts(limit), freq), bits) << limit;
        EXPECT_TRUE(isCompleteCode(lengths)) << limit;
        EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), std::max(limit, 6)) << limit;
        for (std::size_t i = 1; i < freq.size(); ++i) EXPECT_GE(lengths[i - 1], lengths[i]) << limit;   // rarer, longer
    }

    // Canonical assignment: the shortest code is all zeros, codes rise by symbol within a length.
    auto codes = canonicalCodes({2, 1, 3, 3});
    EXPECT_EQ(codes, (std::vector<std::uint16_t>{0b10, 0b0, 0b110, 0b111}));
}

// The used symbols are sorted by frequency in one of three ways (small
// tables, small counts, large counts): each must give Huffman's optimal
// code, and break ties alike (by symbol: the archives depend on it).
TEST(Huffman, EverySortGivesTheOptimalCodeWithTiesBySymbol) {
    struct Row {
        const char* label;
        std::size_t symbols;
        std::uint32_t most;   // frequencies 0..most, a few repeated
    } table[] = {
        {"small table", 19, 40}, {"small counts", 510, 900}, {"large counts", 510, 5000000},
        {"one large count", 510, 70000},
    };
    std::mt19937 random(7);
    for (const Row& row : table) {
        std::vector<std::uint32_t> freq(row.symbols);
        for (auto& f : freq) f = random() % 4 == 0 ? 0 : 1 + random() % (row.most / 8);
        freq[3] = freq[5] = freq[row.symbols - 1] = row.most / 16;   // ties
        freq[1] = row.most;
        // Huffman's cost: the sum of the weights of every merge.
        std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue;
        for (auto f : freq)
            if (f) queue.push(f);
        std::uint64_t optimal = 0;
        while (queue.size() > 1) {
            const std::uint64_t a = queue.top();
            queue.pop();
            const std::uint64_t b = queue.top();
            queue.pop();
            optimal += a + b;
            queue.push(a + b);
        }
        std::vector<std::uint8_t> lengths(row.symbols);
        const std::uint64_t bits = codeLengths(freq.data(), freq.size(), lengths.data());
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < freq.size(); ++i) sum += std::uint64_t{freq[i]} * lengths[i];
        EXPECT_EQ(bits, sum) << row.label;
        EXPECT_EQ(bits, optimal) << row.label;
        EXPECT_EQ(codeLengths(freq), lengths) << row.label;
        EXPECT_GE(lengths[3], lengths[5]) << row.label;   // of two alike, the lower symbol's code is not shorter
        EXPECT_GE(lengths[5], lengths[row.symbols - 1]) << row.label;
    }
    // All alike: the lower symbols take the longer codes, in either sort.
    EXPECT_EQ(codeLengths({5, 5, 5}), (std::vector<std::uint8_t>{2, 2, 1}));
    const std::vector<std::uint8_t> forty = codeLengths(std::vector<std::uint32_t>(40, 7));
    for (std::size_t i = 0; i < forty.size(); ++i) EXPECT_EQ(forty[i], i < 16 ? 6 : 5) << i;
}

TEST(Huffman, FewerThanTwoUsedSymbolsArePaddedToTwo) {
    EXPECT_EQ(codeLengths({0, 0, 0, 0}), (std::vector<std::uint8_t>{1, 1, 0, 0}));
    EXPECT_EQ(codeLengths({0, 0, 9, 0}), (std::vector<std::uint8_t>{1, 0, 1, 0}));
    EXPECT_EQ(codeLengths({9, 0, 0, 0}), (std::vector<std::uint8_t>{1, 1, 0, 0}));
    EXPECT_FALSE(isCompleteCode({1, 0, 0}));
    EXPECT_FALSE(isCompleteCode({1, 1, 1}));
}

TEST(Block, WorkedExampleByteForByte) {
    BlockEncoder block(parameters(Method::Lh5));
    block.literal('a');
    block.literal('b');
    block.literal('c');
    block.match(9, 3);
    BitWriter out;
    block.write(out);
    out.flush();
    EXPECT_EQ(out.bytes(), (std::vector<std::uint8_t>{0x00, 0x04, 0x28, 0x05, 0x30, 0x71, 0x37, 0x91, 0xD3, 0x20,
                                                      0x8D, 0xC0}));
    std::vector<std::uint8_t> decoded;
    BitReader in(out.bytes().data(), out.bytes().size());
    EXPECT_EQ(Decoder(Method::Lh5).decode(in, 12, out.bytes().size(),
                                          [&](const std::uint8_t* d, std::size_t n) {
                                              decoded.insert(decoded.end(), d, d + n);
                                              return true;
                                          }),
              "");
    EXPECT_EQ(decoded, bytes("abcabcabcabc"));
}

std::vector<std::uint8_t> compress(Method method, const std::vector<std::uint8_t>& data, std::size_t step,
                                   const Effort& effort, std::uint64_t sizeHint = UINT64_MAX) {
    Encoder encoder(method, effort, sizeHint);
    std::vector<std::uint8_t> packed;
    for (std::size_t i = 0; i < data.size(); i += step) {
        encoder.write(data.data() + i, std::min(step, data.size() - i));
        packed.insert(packed.end(), encoder.output().begin(), encoder.output().end());
        encoder.output().clear();
    }
    encoder.finish();
    packed.insert(packed.end(), encoder.output().begin(), encoder.output().end());
    return packed;
}

std::string decompress(Method method, const std::vector<std::uint8_t>& packed, std::size_t size,
                       std::vector<std::uint8_t>& out) {
    BitReader in(packed.data(), packed.size());
    return Decoder(method).decode(in, size, packed.size(), [&](const std::uint8_t* d, std::size_t n) {
        out.insert(out.end(), d, d + n);
        return true;
    });
}

struct RoundTripCase {
    const char* label;
    std::vector<std::uint8_t> (*make)();
};

std::vector<std::uint8_t> randomData(std::size_t n, unsigned alphabet, unsigned seed) {
    std::vector<std::uint8_t> d(n);
    std::mt19937 random(seed);
    for (auto& b : d) b = static_cast<std::uint8_t>(random() % alphabet);
    return d;
}

class RoundTripTest : public ::testing::TestWithParam<std::tuple<Method, RoundTripCase>> {};

TEST_P(RoundTripTest, StrictDecoderGivesBackTheInput) {
    auto [method, c] = GetParam();
    const std::vector<std::uint8_t> data = c.make();
    // The default, the best, each parse whichever method it is the default
    // of, and a cheapest path that searches inside no match of 4 or more
    // (so that most matches are found from past the match skipped).
    const Effort efforts[] = {defaultEffort(method),      bestEffort(method),          defaultEffort(Method::Lh5),
                              defaultEffort(Method::Lh6), defaultEffort(Method::Lh7), Effort{8, 4, 64, 0, 0, true}};
    for (std::size_t e = 0; e < std::size(efforts); ++e) {
        // Streamed in pieces, the encoder is told the input's size, as for a
        // file: smaller inputs get smaller tables. A hint too small (a file
        // that grew) makes the window grow.
        const struct { std::size_t step; std::uint64_t hint; } feeds[] = {
            {std::size_t{1} << 20, UINT64_MAX}, {4093, data.size()}, {4093, data.size() / 3}};
        for (const auto& feed : feeds) {
            const auto packed = compress(method, data, feed.step, efforts[e], feed.hint);
            std::vector<std::uint8_t> out;
            ASSERT_EQ(decompress(method, packed, data.size(), out), "") << c.label << " effort " << e << " hint " << feed.hint;
            ASSERT_TRUE(out == data) << c.label << " effort " << e << " hint " << feed.hint;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, RoundTripTest,
    ::testing::Combine(
        ::testing::Values(Method::Lh5, Method::Lh6, Method::Lh7),
        ::testing::Values(
            RoundTripCase{"one_byte", [] { return std::vector<std::uint8_t>{'x'}; }},
            RoundTripCase{"one_symbol_run", [] { return std::vector<std::uint8_t>(100000, 'A'); }},
            RoundTripCase{"random", [] { return randomData(300000, 256, 1); }},
            RoundTripCase{"small_alphabet", [] { return randomData(700000, 4, 2); }},
            RoundTripCase{"window_plus_one", [] { return randomData(65537, 3, 3); }},
            RoundTripCase{"repeats_at_every_distance",
                          [] {
                              auto base = randomData(70000, 256, 4);
                              std::vector<std::uint8_t> d;
                              for (std::size_t dist : {1u, 2u, 255u, 8191u, 8192u, 8193u, 32768u, 65535u, 65536u}) {
                                  d.insert(d.end(), base.begin(), base.begin() + dist);
                                  d.insert(d.end(), base.begin(), base.begin() + std::min<std::size_t>(dist, 600));
                              }
                              return d;
                          }},
            RoundTripCase{"small_text",
                          [] { return bytes(std::string(300, 'a') + "small text, small tables; small text\n"); }},
            RoundTripCase{"text", [] {
                              std::string s;
                              for (int i = 0; i < 20000; ++i) s += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
                              return bytes(s);
                          }})),
    [](const auto& info) {
        return std::string(methodId(std::get<0>(info.param))).substr(1, 3) + "_" + std::get<1>(info.param).label;
    });

// A word list: each line shares a prefix with the one before, so matches are
// short and overlap, where the choice between them decides the size.
std::vector<std::uint8_t> wordList(std::size_t lines) {
    std::mt19937 random(11);
    std::string text, word = "a";
    for (std::size_t i = 0; i < lines; ++i) {
        word.resize(1 + random() % std::min<std::size_t>(word.size(), 6));
        for (unsigned k = 1 + random() % 5; k > 0; --k) word += static_cast<char>('a' + random() % 6);
        text += word + (random() % 4 ? "\n" : "ing\n");
    }
    return bytes(text);
}

// A repeat as far back as each parse reaches (the window less one byte) is
// found by every parse and method: chains, rows and trees each stop at their
// reach, and one too short would code the second copy as literals.
TEST(Encoder, RepeatsAtTheFarthestReachAreFound) {
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        const std::size_t reach = (std::size_t{1} << parameters(method).dictionaryBits) - 1;
        std::vector<std::uint8_t> data = randomData(reach, 256, 13);
        data.insert(data.end(), data.begin(), data.end());
        const Effort efforts[] = {defaultEffort(method), bestEffort(method), defaultEffort(Method::Lh5),
                                  defaultEffort(Method::Lh7)};
        for (std::size_t e = 0; e < std::size(efforts); ++e) {
            const auto packed = compress(method, data, 4093, efforts[e], data.size());
            EXPECT_LT(packed.size(), reach + reach / 20) << methodId(method) << " effort " << e;
        }
    }
}

// Repeats must still be found after the window has slid, by every parse: a
// block nearly the window's size, repeated, is coded once and then matched
// (a chain or table left pointing at old positions loses a block per slide).
TEST(Encoder, RepeatsAreFoundAfterTheWindowSlides) {
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        const std::size_t window = std::size_t{1} << parameters(method).dictionaryBits;
        const std::vector<std::uint8_t> block = randomData(window - 1000, 256, 12);
        std::vector<std::uint8_t> data;
        while (data.size() < (1u << 20) + 777) data.insert(data.end(), block.begin(), block.end());
        const Effort efforts[] = {defaultEffort(method), bestEffort(method), defaultEffort(Method::Lh5),
                                  defaultEffort(Method::Lh7)};
        for (std::size_t e = 0; e < std::size(efforts); ++e) {
            const auto packed = compress(method, data, 65536, efforts[e]);
            EXPECT_LT(packed.size(), block.size() + data.size() / 100) << methodId(method) << " effort " << e;
        }
    }
}

// The cheapest path's rows keep their positions above a base that each
// slide raises, and are rewritten only every few MiB: repeats must be found,
// at their true distances, across those rewrites as across the slides. A
// small alphabet: the latest position by four bytes is then a short match,
// and the repeat a block back is found only through the rows.
TEST(Encoder, RowsRewrittenAfterManySlidesStillFindRepeats) {
    for (Method method : {Method::Lh6, Method::Lh7}) {
        const std::size_t window = std::size_t{1} << parameters(method).dictionaryBits;
        const std::vector<std::uint8_t> block = randomData(window - 1000, 8, 13);
        std::vector<std::uint8_t> data;
        while (data.size() < (std::size_t{9} << 19) + 777) data.insert(data.end(), block.begin(), block.end());
        const auto packed = compress(method, data, 65536, defaultEffort(method));
        EXPECT_LT(packed.size(), block.size() + data.size() / 100) << methodId(method);
        std::vector<std::uint8_t> out;
        ASSERT_EQ(decompress(method, packed, data.size(), out), "") << methodId(method);
        EXPECT_TRUE(out == data) << methodId(method);
    }
}

// The stream depends on the input only, not on how it was handed over: a
// parse that searched less where each piece ended would code the same data
// differently for a caller that streams it in other pieces.
TEST(Encoder, SameStreamHoweverTheInputIsFed) {
    // Short matches, and runs of maximal ones; more than the window holds.
    const std::vector<std::uint8_t> words = wordList(40000);
    std::vector<std::uint8_t> data;
    for (std::size_t at = 0; at + 3000 <= words.size(); at += 3000)
        for (int copy = 0; copy < 2; ++copy) data.insert(data.end(), words.begin() + at, words.begin() + at + 3000);
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        const Effort efforts[] = {defaultEffort(method), defaultEffort(method, 1000), bestEffort(method)};
        for (std::size_t e = 0; e < std::size(efforts); ++e) {
            const auto whole = compress(method, data, data.size(), efforts[e]);
            for (std::size_t step : {std::size_t{1}, std::size_t{4093}, std::size_t{65537}})
                EXPECT_TRUE(compress(method, data, step, efforts[e]) == whole)
                    << methodId(method) << " effort " << e << " pieces of " << step;
        }
    }
}

// The cheapest path weighs every split of overlapping matches; where matches
// are short it must come out smaller than the lazy parse, at every window.
TEST(Encoder, CheapestPathBeatsLazyMatchingOnShortMatches) {
    const std::vector<std::uint8_t> data = wordList(60000);
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        const std::size_t lazy = compress(method, data, 1 << 20, defaultEffort(Method::Lh5)).size();
        const std::size_t cheapest = compress(method, data, 1 << 20, defaultEffort(Method::Lh7)).size();
        const std::size_t best = compress(method, data, 1 << 20, bestEffort(method)).size();
        EXPECT_LT(cheapest, lazy * 99 / 100) << methodId(method);
        EXPECT_LE(best, cheapest) << methodId(method);
        // Its second parse, priced by the table the first would be coded with, gains.
        Effort once = bestEffort(method);
        once.passes = 1;
        EXPECT_LT(best, compress(method, data, 1 << 20, once).size()) << methodId(method);
    }
}

// Where the data changes kind every 4 KiB, inside the cheapest path's
// regions, the best effort may end a block there: each kind gets its table.
TEST(Encoder, BestEffortEndsBlocksWhereTheDataChangesInsideARegion) {
    const std::vector<std::uint8_t> words = wordList(30000), digits = randomData(300000, 16, 5);
    std::vector<std::uint8_t> data;
    for (std::size_t at = 0; at + 4096 <= std::min(words.size(), digits.size()); at += 4096) {
        data.insert(data.end(), words.begin() + at, words.begin() + at + 4096);
        data.insert(data.end(), digits.begin() + at, digits.begin() + at + 4096);
    }
    for (Method method : {Method::Lh5, Method::Lh7}) {
        Effort regionEnds = bestEffort(method);
        regionEnds.blockStep = 0;
        EXPECT_LT(compress(method, data, 1 << 20, bestEffort(method)).size(),
                  compress(method, data, 1 << 20, regionEnds).size() * 97 / 100)
            << methodId(method);
    }
}

// The cheapest path does not search inside a long match; a match that
// starts inside it must still be found (from the position after it, where
// it reaches back), or the parse loses most of what it gains on overlaps.
TEST(Encoder, MatchesStartingInsideASkippedMatchAreFound) {
    const std::vector<std::uint8_t> data = wordList(60000);
    for (Method method : {Method::Lh5, Method::Lh7}) {
        const std::size_t skipping = compress(method, data, 1 << 20, Effort{8, 4, 64, 0, 0, true}).size();
        const std::size_t everywhere = compress(method, data, 1 << 20, Effort{8, 256, 64, 0, 0, true}).size();
        EXPECT_LT(skipping, everywhere * 115 / 100) << methodId(method);
    }
}

// Where a 50-byte match A overlaps a 40-byte match B that starts 20 bytes
// into it, and matches of 20 and 40 are common, the cheapest path cuts A at
// 20 for B whole (two cheap lengths) rather than A whole and B's last 10.
// `cut` builds that; otherwise A's source holds only A's first 20 bytes
// (and a repeat where the rest was), so that 20 + 40 is the only way.
std::vector<std::uint8_t> overlappingMatches(bool cut) {
    std::mt19937 random(7);
    const auto noise = [&](std::size_t n) {
        std::vector<std::uint8_t> v(n);
        for (auto& b : v) b = static_cast<std::uint8_t>(random());
        return v;
    };
    std::vector<std::vector<std::uint8_t>> common;
    for (std::size_t n : {20, 20, 20, 20, 40, 40, 40, 40}) common.push_back(noise(n));
    std::vector<std::uint8_t> data, last = noise(30);
    const auto add = [&](std::initializer_list<std::vector<std::uint8_t>> parts) {
        for (const auto& part : parts) data.insert(data.end(), part.begin(), part.end());
    };
    for (int i = 0; i < 2000; ++i) {
        const auto a = noise(20), b = noise(30), tail = noise(10);
        add({b, tail, noise(6), a, cut ? b : last, noise(6)});   // B's source, then A's
        for (int k = 0; k < 3; ++k) add({common[random() % 4], noise(3), common[4 + random() % 4], noise(3)});
        add({a, b, tail, noise(6)});
        last = b;
    }
    return data;
}

// Units whose cheapest way into a long match goes through a short one that
// starts at two rare bytes just before it and ends inside it: from there on
// only the long match's rest is cheap, and the path does not search there.
std::vector<std::uint8_t> matchesEnteredInside() {
    std::mt19937 random(5);
    const auto noise = [&](std::size_t n, unsigned from) {
        std::vector<std::uint8_t> v(n);
        for (auto& b : v) b = static_cast<std::uint8_t>(from + random() % 128);
        return v;
    };
    const std::vector<std::uint8_t> head = noise(8, 0);
    std::vector<std::uint8_t> data;
    const auto add = [&](std::initializer_list<std::vector<std::uint8_t>> parts) {
        for (const auto& part : parts) data.insert(data.end(), part.begin(), part.end());
    };
    for (int i = 0; i < 2000; ++i) {
        const auto rare = noise(2, 128), tail = noise(32, 0);
        add({noise(6, 0), head, tail, noise(6, 0), rare, head, noise(26, 0), rare, head, tail, noise(6, 0)});
    }
    return data;
}

// Inside a match it does not search, the path is still offered the match's
// rest: it comes out as small as a path that searches everywhere.
TEST(Encoder, SkippedMatchIsOfferedFromInside) {
    const std::vector<std::uint8_t> data = matchesEnteredInside();
    Effort everywhere = defaultEffort(Method::Lh7);
    everywhere.goodLength = 256;
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        const std::size_t searched = compress(method, data, 1 << 20, everywhere).size();
        EXPECT_LT(compress(method, data, 1 << 20, defaultEffort(Method::Lh7)).size(), searched * 1005 / 1000)
            << methodId(method);
    }
}

TEST(Encoder, CheapestPathCutsAMatchWhereTheNextOneCostsLess) {
    const std::vector<std::uint8_t> overlapping = overlappingMatches(true), apart = overlappingMatches(false);
    for (Method method : {Method::Lh5, Method::Lh6, Method::Lh7}) {
        for (const Effort& effort : {defaultEffort(Method::Lh7), bestEffort(method)}) {
            const std::size_t cut = compress(method, overlapping, 1 << 20, effort).size();
            EXPECT_LT(cut, compress(method, apart, 1 << 20, effort).size() * 1002 / 1000)
                << methodId(method) << (effort.trees ? " best" : " default");
        }
    }
}

TEST(Decoder, CorruptStreamsGiveErrorsNotCrashes) {
    const auto data = randomData(50000, 16, 9);
    const auto packed = compress(Method::Lh5, data, 1 << 20, defaultEffort(Method::Lh5));
    std::mt19937 random(11);
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
        auto bad = packed;
        for (int k = 0; k < 3; ++k) bad[random() % bad.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        if (round % 3 == 0) bad.resize(random() % bad.size());
        std::vector<std::uint8_t> out;
        if (!decompress(Method::Lh5, bad, data.size(), out).empty()) ++failures;
        EXPECT_LE(out.size(), data.size());
    }
    EXPECT_GT(failures, 200);
}

// The strict decoder, which judges the round trips, refuses what some
// reader refuses: a stream that runs past its size, by a literal or by a
// match. The lenient one stops at the size.
TEST(Decoder, StrictRefusesAStreamLongerThanItsSize) {
    const struct { const char* data; const char* fault; } table[] = {
        {"abcdefgh", "block has more symbols than the data needs"},
        {"abcabcabcabc", "match runs past the end of the data"},
    };
    for (const auto& row : table) {
        const auto data = bytes(row.data);
        const auto packed = compress(Method::Lh5, data, 1 << 20, defaultEffort(Method::Lh5));
        for (bool strict : {true, false}) {
            std::vector<std::uint8_t> out;
            BitReader in(packed.data(), packed.size());
            const std::string fault = Decoder(Method::Lh5).decode(
                in, data.size() - 1, packed.size(),
                [&](const std::uint8_t* d, std::size_t n) {
                    out.insert(out.end(), d, d + n);
                    return true;
                },
                strict);
            EXPECT_EQ(fault, strict ? row.fault : "") << row.data;
            if (!strict) {
                EXPECT_TRUE(out == std::vector<std::uint8_t>(data.begin(), data.end() - 1)) << row.data;
            }
        }
    }
}

}  // namespace
}  // namespace lzh

namespace lzh {
namespace {

// Zero runs of every coded size between two used literals, and table
// lengths from 1 to 16 bits: each block must decode back exactly.
TEST(Block, ZeroRunsAndLongCodeLengthsDecode) {
    for (unsigned gap : {1u, 2u, 3u, 17u, 18u, 19u, 20u, 200u, 253u}) {
        BlockEncoder block(parameters(Method::Lh7));
        std::vector<std::uint8_t> expected;
        // Skewed counts give code lengths up to 16 for the rare symbols.
        std::uint32_t count = 1;
        for (unsigned k = 0; k < 18; ++k) {
            const std::uint8_t symbol = static_cast<std::uint8_t>(k == 0 ? 0 : std::min(255u, gap + k));
            for (std::uint32_t i = 0; i < count && expected.size() < 60000; ++i) {
                block.literal(symbol);
                expected.push_back(symbol);
            }
            count = count * 2;
        }
        block.match(256, 65536 > expected.size() ? static_cast<unsigned>(expected.size()) : 65536u);
        const std::size_t start = expected.size() - std::min<std::size_t>(expected.size(), 65536);
        for (unsigned i = 0; i < 256; ++i) expected.push_back(expected[start + i]);
        BitWriter out;
        block.write(out);
        out.flush();
        std::vector<std::uint8_t> decoded;
        BitReader in(out.bytes().data(), out.bytes().size());
        ASSERT_EQ(Decoder(Method::Lh7).decode(in, expected.size(), out.bytes().size(),
                                              [&](const std::uint8_t* d, std::size_t n) {
                                                  decoded.insert(decoded.end(), d, d + n);
                                                  return true;
                                              }),
                  "")
            << "gap " << gap;
        EXPECT_TRUE(decoded == expected) << "gap " << gap;
    }
}

// The size a block foresees, alone or joined with the next, is the size it
// is written with, but for the table bits the writer saves by cutting the
// longest codes (a small block with rare symbols): the parse ends blocks by it.
TEST(Block, ForeseenBitsAreTheWrittenBits) {
    struct Mix {
        const char* label;
        unsigned literals;   // distinct literal values
        unsigned matchEvery; // a match after this many literals (0: none)
        bool skewed;         // each literal value half as likely as the one before
        std::size_t symbols;
    };
    int cut = 0;
    for (const Mix& mix : {Mix{"all literals", 256, 0, false, 3000}, Mix{"few literals", 3, 0, false, 3000},
                           Mix{"text-like", 60, 4, false, 3000}, Mix{"mostly matches", 20, 1, false, 3000},
                           Mix{"rare symbols", 40, 5, true, 400}}) {
        for (Method method : {Method::Lh5, Method::Lh7}) {
            std::mt19937 random(5);
            auto value = [&]() -> unsigned {
                if (!mix.skewed) return static_cast<unsigned>(random() % mix.literals);
                unsigned v = 0;
                while (v + 1 < mix.literals && random() % 2) ++v;
                return v;
            };
            auto fill = [&](BlockEncoder& block, std::size_t symbols) {
                for (std::size_t i = 0; i < symbols; ++i) {
                    if (mix.matchEvery && i % mix.matchEvery == 0)
                        block.match(3 + random() % 60, 1 + random() % (1u << parameters(method).dictionaryBits));
                    else
                        block.literal(static_cast<std::uint8_t>(value()));
                }
            };
            BlockEncoder first(parameters(method)), second(parameters(method));
            fill(first, mix.symbols);
            fill(second, mix.symbols / 6);
            const std::uint64_t alone = first.bits(), joined = first.bits(&second);
            BitWriter written;
            BlockEncoder copy = first;
            const std::uint64_t told = copy.writtenBits();
            copy.write(written);
            EXPECT_EQ(told, written.bitCount()) << mix.label;
            EXPECT_LE(written.bitCount(), alone) << mix.label;
            first.append(second);
            BitWriter both;
            const std::uint64_t toldJoined = first.writtenBits();
            first.write(both);
            EXPECT_EQ(toldJoined, both.bitCount()) << mix.label;
            EXPECT_LE(both.bitCount(), joined) << mix.label;
            cut += (written.bitCount() < alone) + (both.bitCount() < joined);
        }
    }
    EXPECT_GT(cut, 0) << "no block had its codes cut";
}

}  // namespace
}  // namespace lzh
