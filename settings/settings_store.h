#pragma once

#include <QString>

namespace sqs {

class Platform;
struct AppState;

// The window whose screen position the settings keep, in twips.
class PositionedWindow {
public:
    virtual ~PositionedWindow() = default;
    virtual int topTwips() const = 0;
    virtual int leftTwips() const = 0;
    virtual void setTopTwips(int twips) = 0;
    virtual void setLeftTwips(int twips) = 0;
    // False where the window system does not tell a window where it is
    // (Wayland): the stored position is then kept as it was.
    virtual bool positionKnown() const { return true; }
};

// SQS.ini in the program folder.
QString settingsPath(Platform& platform);

// Reads the position onto the window and the five options into the state.
void LoadSettings(Platform& platform, AppState& state, PositionedWindow& window);

// Writes the window's position and the five options. A failed write is ignored.
void SaveSettings(Platform& platform, const AppState& state, const PositionedWindow& window);

}  // namespace sqs
