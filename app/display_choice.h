#pragma once

// Which window system the toolkit is to use, decided before it starts: it
// would abort, saying a reinstall may help, where it finds none it can use.

#include <functional>
#include <string>

namespace sqs {

struct DisplayChoice {
    std::string platform;   // for QT_QPA_PLATFORM, or empty: leave it as it is
    std::string fault;      // why no window can be shown, or empty
};

// From QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY (empty when unset),
// whether the toolkit's -platform option was given, and whether its Wayland
// plugin is installed; `x11Opens` tries the X11 display (asked only where
// it decides). A Wayland window can neither choose nor learn its place,
// which the settings keep: where the session also has an X11 display
// (XWayland), the window goes there, and to Wayland only when that display
// cannot be opened. The user's QT_QPA_PLATFORM or -platform still decides.
DisplayChoice chooseDisplay(const std::string& platformVariable, bool platformOption, const std::string& display,
                            const std::string& waylandDisplay, bool waylandPluginInstalled,
                            const std::function<bool()>& x11Opens);

// Whether a Wayland platform plugin lies where the toolkit looks for plugins.
bool waylandPluginInstalled();

}  // namespace sqs
