#include "app/terminal_reply.h"

#include <gtest/gtest.h>

#include <set>

namespace sqs {
namespace {

TEST(TerminalReplyTest, OnlyALoneOptionWithoutSuchAFileAnswersOnTheTerminal) {
    struct Row {
        std::vector<std::string> arguments;
        std::set<std::string> files;   // what exists in the current folder
        const char* reply;             // "usage", "version" or nullptr: paths to list
    } table[] = {
        {{"--help"}, {}, "usage"},
        {{"--version"}, {}, "version"},
        {{"", "--help", ""}, {}, "usage"},          // empty arguments do not count
        {{"--help"}, {"--help"}, nullptr},          // a file of that name is listed
        {{"--version"}, {"--version"}, nullptr},
        {{"--help", "a.txt"}, {}, nullptr},         // not the only argument
        {{"a.txt", "--version"}, {}, nullptr},
        {{"--HELP"}, {}, nullptr},                  // exact words only
        {{"-h"}, {}, nullptr},
        {{"--help="}, {}, nullptr},
        {{}, {}, nullptr},
        {{"a.txt"}, {}, nullptr},
    };
    for (const Row& row : table) {
        auto exists = [&](const std::string& path) { return row.files.count(path) > 0; };
        auto reply = terminalReply(row.arguments, exists, "9.8");
        std::string where = row.arguments.empty() ? "(none)" : row.arguments.front();
        if (!row.reply) {
            EXPECT_FALSE(reply.has_value()) << where;
        } else if (std::string(row.reply) == "usage") {
            ASSERT_TRUE(reply.has_value()) << where;
            EXPECT_EQ(reply->rfind("Usage: squashslice [FILE]...\n", 0), 0u) << *reply;
        } else {
            EXPECT_EQ(reply.value_or("none"), "squashslice 9.8\n") << where;
        }
    }
}

}  // namespace
}  // namespace sqs
