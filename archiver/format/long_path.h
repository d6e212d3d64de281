#pragma once

#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace lzh {

// File calls for paths of any length. A walk of a deep tree (which x can
// make) meets paths longer than the system takes in one call (PATH_MAX,
// 4,096 bytes): a call that fails for that is made again on the last
// component, from the path's folder opened a component at a time. Each
// returns what its system call returns, with errno set.
int openLong(const std::string& path, int flags, mode_t mode = 0);
int statLong(const std::string& path, struct stat& st, bool followLink = true);
DIR* openFolderLong(const std::string& path);
int removeLong(const std::string& path, bool folder);

}  // namespace lzh
