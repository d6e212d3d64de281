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

// One read of the file per key, as the private-profile functions do.
std::string readKey(Platform& platform, const QString& path, const char* key, const char* fallback) {
    std::optional<std::string> file;
    if (auto bytes = platform.readWholeFile(path)) file = bytes->toStdString();
    return profile::readValue(file, kSection, key, fallback, kBufferSize);
}

void writeKey(Platform& platform, const QString& path, const char* key, const std::string& value) {
    std::string file;
    if (auto bytes = platform.readWholeFile(path)) file = bytes->toStdString();
    platform.replaceFileAtomically(path, QByteArray::fromStdString(profile::withValue(file, kSection, key, value)));
}

}  // namespace

QString settingsPath(Platform& platform) {
    QString folder = platform.programFolder();
    return folder.endsWith(QLatin1Char('/')) ? folder + QStringLiteral("SQS.ini")
                                             : folder + QStringLiteral("/SQS.ini");
}

void LoadSettings(Platform& platform, AppState& state, PositionedWindow& window) {
    const QString path = settingsPath(platform);
    window.setTopTwips(parsePositionText(readKey(platform, path, "TOP", "0")));
    window.setLeftTwips(parsePositionText(readKey(platform, path, "LEFT", "0")));
    for (int i = 0; i < 5; ++i)
        state.optionFlags[i] = QString::fromLocal8Bit(readKey(platform, path, kOptionKeys[i], "OFF"));
}

void SaveSettings(Platform& platform, const AppState& state, const PositionedWindow& window) {
    const QString path = settingsPath(platform);
    writeKey(platform, path, "TOP", positionText(window.topTwips()));
    writeKey(platform, path, "LEFT", positionText(window.leftTwips()));
    for (int i = 0; i < 5; ++i)
        writeKey(platform, path, kOptionKeys[i], state.optionFlags[i].toLocal8Bit().toStdString());
}

}  // namespace sqs
