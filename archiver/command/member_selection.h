#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace lzh {

// The members that names select: shell wildcards over the whole
// "/"-separated name, and a name of a folder selects all in it. No names
// select everything. Names without wildcards are looked up, not matched
// one by one, so that a list of thousands of names against an archive of
// thousands of members stays quick.
class MemberSelection {
public:
    explicit MemberSelection(const std::vector<std::string>& patterns);

    bool selects(const std::string& name) const;

private:
    bool all_;
    std::unordered_set<std::string> exact_;
    std::vector<std::string> wildcards_;
};

}  // namespace lzh
