#include "app/display_choice.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>

namespace sqs {

DisplayChoice chooseDisplay(const std::string& platformVariable, bool platformOption, const std::string& display,
                            const std::string& waylandDisplay, bool waylandPluginInstalled,
                            const std::function<bool()>& x11Opens) {
    if (!platformVariable.empty() || platformOption) return {};
    const bool wayland = !waylandDisplay.empty() && waylandPluginInstalled;
    if (!display.empty()) {
        // The toolkit tries the platforms of a list in turn.
        if (x11Opens()) return {wayland ? "xcb;wayland" : "xcb", {}};
        if (wayland) return {"wayland", {}};
        return {{}, "cannot open the X11 display \"" + display +
                        "\" (DISPLAY): no X server answers there, or it does not let this user in"};
    }
    if (waylandDisplay.empty())
        return {{}, "no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)"};
    if (!waylandPluginInstalled)
        return {{}, "this Wayland session has no X11 display (DISPLAY), and the toolkit's Wayland support "
                    "(the Debian package qt6-wayland) is not installed"};
    return {};
}

bool waylandPluginInstalled() {
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (const QString& folder : folders)
        if (!QDir(folder + QStringLiteral("/platforms"))
                 .entryList({QStringLiteral("libqwayland-*.so")}, QDir::Files)
                 .isEmpty())
            return true;
    return false;
}

}  // namespace sqs
