// Compresses each file given on its own with -lh5-, -lh6- and -lh7- and
// reports bytes and throughput (by processor time) per file and in total;
// each stream is also decoded again and compared.
#include "archiver/codec/decoder.h"
#include "archiver/codec/encoder.h"

#include <ctime>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lzh_bench [-m5|-m6|-m7]... [-n] [-e depth,good,nice,lazy,block[,optimal[,passes[,trees[,further[,step]]]]]] FILE...\n");
        return 2;
    }
    std::vector<lzh::Method> methods;
    std::vector<std::string> files;
    bool custom = false;
    bool verify = true;   // -n: time only, no decoding afterwards
    lzh::Effort effort{};
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-m5") methods.push_back(lzh::Method::Lh5);
        else if (a == "-m6") methods.push_back(lzh::Method::Lh6);
        else if (a == "-m7") methods.push_back(lzh::Method::Lh7);
        else if (a == "-n") verify = false;
        else if (a == "-e" && i + 1 < argc) {
            int optimal = 0, trees = 0;
            custom = std::sscanf(argv[++i], "%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", &effort.depth, &effort.goodLength,
                                 &effort.niceLength, &effort.lazyLength, &effort.blockSymbols, &optimal,
                                 &effort.passes, &trees, &effort.furtherDepth, &effort.blockStep) >= 5;
            effort.optimal = optimal != 0;
            effort.trees = trees != 0;
        } else files.push_back(a);
    }
    if (methods.empty()) methods = {lzh::Method::Lh5, lzh::Method::Lh6, lzh::Method::Lh7};
    for (lzh::Method method : methods) {
        double totalIn = 0, totalOut = 0, totalSeconds = 0;
        for (const std::string& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // Processor time: steadier than the clock on a busy machine.
            const std::clock_t start = std::clock();
            lzh::Encoder encoder(method, custom ? effort : lzh::defaultEffort(method));
            std::size_t packed = 0;
            std::vector<std::uint8_t> stream;
            for (std::size_t i = 0; i < data.size(); i += 1 << 16) {
                encoder.write(data.data() + i, std::min<std::size_t>(1 << 16, data.size() - i));
                stream.insert(stream.end(), encoder.output().begin(), encoder.output().end());
                encoder.output().clear();
            }
            encoder.finish();
            stream.insert(stream.end(), encoder.output().begin(), encoder.output().end());
            packed = stream.size();
            const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
            // Verify.
            lzh::BitReader reader(stream.data(), stream.size());
            std::size_t at = 0;
            bool same = true;
            std::string fault = !verify ? std::string() : lzh::Decoder(method).decode(reader, data.size(), stream.size(),
                [&](const std::uint8_t* d, std::size_t n) {
                    same = same && std::equal(d, d + n, data.begin() + static_cast<long>(at));
                    at += n;
                    return true;
                });
            std::printf("%s %-40s %10zu -> %10zu  %6.2f %%  %7.1f MB/s %s\n", lzh::methodId(method),
                        file.substr(file.rfind('/') + 1).c_str(), data.size(), packed, 100.0 * packed / data.size(),
                        data.size() / seconds / 1e6, fault.empty() && same ? "" : ("BAD " + fault).c_str());
            totalIn += data.size();
            totalOut += packed;
            totalSeconds += seconds;
        }
        std::printf("%s total %.0f -> %.0f  %.2f %%  %.1f MB/s  %.2f s\n", lzh::methodId(method), totalIn, totalOut,
                    100.0 * totalOut / totalIn, totalIn / totalSeconds / 1e6, totalSeconds);
    }
}
