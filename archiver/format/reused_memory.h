#pragma once

namespace lzh {

// Coding a file allocates and frees the same large buffers segment after
// segment (window, tables, input). By default glibc gives such blocks back
// to the kernel as they are freed, so each new segment faults its pages in
// again; this keeps freed blocks of up to 8 MiB for reuse instead (about
// 6 % less processor time, and the same peak). Called once per process;
// does nothing where the C library is not glibc.
void keepFreedBlocksForReuse();

}  // namespace lzh
