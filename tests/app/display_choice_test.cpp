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
        bool x11Opens;          // what trying the X11 display gives
        const char* platform;   // what QT_QPA_PLATFORM becomes ("" : left as it is)
        const char* fault;      // a word of the reason, or nullptr: no fault
        bool tried;             // whether the X11 display was tried
    } table[] = {
        {"", false, ":0", "", false, true, "xcb", nullptr, true},
        // GNOME's session: XWayland keeps the position; Wayland where it cannot be opened.
        {"", false, ":0", "wayland-0", true, true, "xcb;wayland", nullptr, true},
        {"", false, ":0", "wayland-0", false, true, "xcb", nullptr, true},
        {"", false, ":0", "wayland-0", true, false, "wayland", nullptr, true},
        // A display no server answers: a reason, not the toolkit's abort.
        {"", false, ":99", "", true, false, "", "\":99\" (DISPLAY)", true},
        {"", false, ":99", "wayland-0", false, false, "", ":99", true},
        {"", false, "", "wayland-0", true, false, "", nullptr, false},    // Wayland alone: its own plugin
        {"", false, "", "wayland-0", false, false, "", "qt6-wayland", false},   // ... which is missing
        {"", false, "", "", true, false, "", "neither DISPLAY nor WAYLAND_DISPLAY", false},
        {"wayland", false, ":0", "wayland-0", false, false, "", nullptr, false},   // the user's choice stands
        {"offscreen", false, "", "", false, false, "", nullptr, false},
        {"", true, "", "wayland-0", false, false, "", nullptr, false},   // so does -platform
        {"", true, ":99", "", false, false, "", nullptr, false},
    };
    for (const Row& row : table) {
        bool tried = false;
        const DisplayChoice choice =
            chooseDisplay(row.platformVariable, row.platformOption, row.display, row.waylandDisplay, row.plugin, [&] {
                tried = true;
                return row.x11Opens;
            });
        SCOPED_TRACE(std::string(row.platformVariable) + "|" + row.display + "|" + row.waylandDisplay);
        EXPECT_EQ(choice.platform, row.platform);
        if (row.fault) EXPECT_NE(choice.fault.find(row.fault), std::string::npos) << choice.fault;
        else EXPECT_EQ(choice.fault, "");
        EXPECT_EQ(tried, row.tried);
    }
}

}  // namespace
}  // namespace sqs
