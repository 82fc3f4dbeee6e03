// Where the program keeps its files, and access to setting.ini.
//
// appDir is the executable's folder. setting.ini and the Language folder live
// there when that folder is writable, else in $XDG_CONFIG_HOME/corvane/
// (default ~/.config/corvane/). The paths are process-wide, set once at
// start-up (InitAppPaths) or by a test (SetAppPaths); until then every read
// yields its default and every write fails, so nothing lands in the working
// folder by accident.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Sections and keys of setting.ini.
inline constexpr char kSectionSetting[] = "Setting";
inline constexpr char kKeyLanguage[] = "Language";
inline constexpr char kSectionScreenConfig[] = "ScreenConfig";
inline constexpr char kKeyScreenNum[] = "ScreenNum";
inline constexpr char kSectionBrightmere[] = "Brightmere";
inline constexpr char kKeyFolderName[] = "FolderName";
inline constexpr char kKeyAudioChannel[] = "AudioChannel";
inline constexpr char kKeySnapshotPath[] = "SnapshotPath";
inline constexpr char kKeyRecPath[] = "RecPath";
inline constexpr char kKeyMapOffset[] = "MapOffset";
inline constexpr char kKeySaveName[] = "SaveName";
inline constexpr char kSectionWaveConfig[] = "WaveConfig";
inline constexpr char kKeySpeed[] = "Speed";
inline constexpr char kKeyTemperature[] = "Temperature";
inline constexpr char kKeySaveParam[] = "SaveParam";
inline constexpr char kKeySaveSha256[] = "SaveSha256";  // 1: a SHA-256 manifest beside exported files
inline constexpr char kKeySaveGpx[] = "SaveGpx";        // 1: a GPX track beside exported files

inline constexpr char kSettingsFileName[] = "setting.ini";
inline constexpr char kLanguageFolderName[] = "Language";
// The settings file written when none exists (29 bytes).
inline constexpr std::string_view kDefaultSettingsFile{"[Setting]\r\nLanguage=English\r\n", 29};

// Text settings are read into buffers of this many characters unless a caller says otherwise.
inline constexpr std::size_t kSettingBufChars = 1024;

struct AppPaths {
  std::string appDir;        // executable's folder, ends with '/'
  std::string dataDir;       // folder of setting.ini and Language/, ends with '/'
  std::string settingsPath;  // dataDir + "setting.ini"
  std::string languageDir;   // dataDir + "Language/"
};

// appDir's data folder when writable, else configHome + "/corvane/".
// Pure apart from the writability check; nothing is created.
AppPaths ComputeAppPaths(const std::string& appDir, const std::string& configHome);
// Folder of /proc/self/exe with a trailing '/'; "" when it cannot be read.
std::string ExecutableDir();
// $XDG_CONFIG_HOME when set and absolute, else $HOME/.config.
std::string DefaultConfigHome();

void SetAppPaths(const AppPaths& paths);
AppPaths GetAppPaths();

// Start-up: paths from the executable and the environment, the data folder
// created, and setting.ini written from the default when missing. False when
// the settings file could not be made (the program still runs on defaults).
bool InitAppPaths();
// Writes the default settings file when settingsPath does not exist.
bool EnsureSettingsFile();

// Settings access on settingsPath. Values are the file's bytes (UTF-8 for
// what this program writes).
std::string GetSettingString(std::string_view section, std::string_view key, std::string_view def,
                             std::size_t bufChars = kSettingBufChars);
int GetSettingInt(std::string_view section, std::string_view key, int def);
bool SetSettingString(std::string_view section, std::string_view key, std::string_view value);
bool SetSettingInt(std::string_view section, std::string_view key, int value);  // as "%d" text

}  // namespace corvane
