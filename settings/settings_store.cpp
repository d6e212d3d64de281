#include "settings/settings_store.h"

#include "core/app_state.h"
#include "platform/platform.h"
#include "settings/position_text.h"
#include "settings/profile_file.h"

namespace sqs {
namespace {

constexpr const char* kSection = "SQS";
constexpr std::size_t kBufferSize = 100;
const char* const kOptionKeys[] = {"OPTION1", "OPTION2", "OPTION3", "OPTION4", "OPTION5"};

std::optional<std::string> readSettings(Platform& platform, const QString& path) {
    if (auto bytes = platform.readWholeFile(path)) return bytes->toStdString();
    return std::nullopt;
}

std::string readKey(const std::optional<std::string>& file, const char* key, const char* fallback) {
    return profile::readValue(file, kSection, key, fallback, kBufferSize);
}

}  // namespace

QString settingsPath(Platform& platform) {
    QString folder = platform.programFolder();
    return folder.endsWith(QLatin1Char('/')) ? folder + QStringLiteral("SQS.ini")
                                             : folder + QStringLiteral("/SQS.ini");
}

// The file is read once and, on a save, written once with its seven keys
// changed: the same bytes as seven writes of one key each, without six
// rewrites of a large file.
void LoadSettings(Platform& platform, AppState& state, PositionedWindow& window) {
    const std::optional<std::string> file = readSettings(platform, settingsPath(platform));
    window.setTopTwips(parsePositionText(readKey(file, "TOP", "0")));
    window.setLeftTwips(parsePositionText(readKey(file, "LEFT", "0")));
    for (int i = 0; i < 5; ++i) state.optionFlags[i] = QString::fromLocal8Bit(readKey(file, kOptionKeys[i], "OFF"));
}

void SaveSettings(Platform& platform, const AppState& state, const PositionedWindow& window) {
    const QString path = settingsPath(platform);
    const std::optional<std::string> old = readSettings(platform, path);
    std::string file = old.value_or(std::string());
    const bool known = window.positionKnown();
    file = profile::withValue(file, kSection, "TOP",
                              known ? positionText(window.topTwips()) : readKey(old, "TOP", "0"));
    file = profile::withValue(file, kSection, "LEFT",
                              known ? positionText(window.leftTwips()) : readKey(old, "LEFT", "0"));
    for (int i = 0; i < 5; ++i) {
        // A value that is not text in the locale's encoding reads as
        // replacement characters; unchanged, its own bytes go back.
        const std::string stored = readKey(old, kOptionKeys[i], "OFF");
        const std::string value = QString::fromLocal8Bit(stored) == state.optionFlags[i]
                                      ? stored
                                      : state.optionFlags[i].toLocal8Bit().toStdString();
        file = profile::withValue(file, kSection, kOptionKeys[i], value);
    }
    platform.replaceFileAtomically(path, QByteArray::fromStdString(file));
}

}  // namespace sqs
