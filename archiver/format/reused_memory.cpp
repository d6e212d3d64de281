#include "archiver/format/reused_memory.h"

#include <algorithm>
#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace lzh {

void keepFreedBlocksForReuse(unsigned threads) {
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [threads] {
        // Blocks under this size come from the heap, not from their own mapping.
        mallopt(M_MMAP_THRESHOLD, 8 << 20);
        // The heap gives memory back only when this much is free at its top.
        mallopt(M_TRIM_THRESHOLD, 128 << 20);
        mallopt(M_ARENA_MAX, static_cast<int>(std::max(threads, 2u)));
    });
#else
    (void)threads;
#endif
}

}  // namespace lzh
