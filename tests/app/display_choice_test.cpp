#include "app/display_choice.h"

#include <gtest/gtest.h>

namespace sqs {
namespace {

TEST(DisplayChoiceTest, XWaylandBeforeWaylandAndAReasonWhereNoWindowCanShow) {
    struct Row {
        const char* platformVariable;
        bool platformOption;   // -platform given
        const char* display;
        const char* waylandDisplay;
        bool plugin;
        const char* platform;   // what QT_QPA_PLATFORM becomes ("" : left as it is)
        const char* fault;      // a word of the reason, or nullptr: no fault
    } table[] = {
        {"", false, ":0", "", false, "xcb", nullptr},
        // GNOME's session: XWayland keeps the position; Wayland where it cannot be opened.
        {"", false, ":0", "wayland-0", true, "xcb;wayland", nullptr},
        {"", false, ":0", "wayland-0", false, "xcb", nullptr},
        {"", false, "", "wayland-0", true, "", nullptr},           // Wayland alone: its own plugin
        {"", false, "", "wayland-0", false, "", "qt6-wayland"},    // ... which is missing
        {"", false, "", "", true, "", "neither DISPLAY nor WAYLAND_DISPLAY"},
        {"wayland", false, ":0", "wayland-0", false, "", nullptr}, // the user's choice stands
        {"offscreen", false, "", "", false, "", nullptr},
        {"", true, "", "wayland-0", false, "", nullptr},           // so does -platform
        {"", true, ":0", "", false, "", nullptr},
    };
    for (const Row& row : table) {
        const DisplayChoice choice =
            chooseDisplay(row.platformVariable, row.platformOption, row.display, row.waylandDisplay, row.plugin);
        SCOPED_TRACE(std::string(row.platformVariable) + "|" + row.display + "|" + row.waylandDisplay);
        EXPECT_EQ(choice.platform, row.platform);
        if (row.fault) EXPECT_NE(choice.fault.find(row.fault), std::string::npos) << choice.fault;
        else EXPECT_EQ(choice.fault, "");
    }
}

}  // namespace
}  // namespace sqs
