#include "language.h"

#include <mutex>

#include "fs_util.h"
#include "ini.h"
#include "settings.h"
#include "text_codec.h"

namespace corvane {

extern const unsigned char kLanguageFileEnglish[];
extern const std::size_t kLanguageFileEnglishSize;
extern const unsigned char kLanguageFileChinese[];
extern const std::size_t kLanguageFileChineseSize;

namespace {

constexpr char kSectionString[] = "String";

std::mutex& LangMutex() {
  static std::mutex m;
  return m;
}
std::string& LangPath() {
  static std::string path;
  return path;
}

// A language file as the program shows it: every value decoded the same way,
// decided once for the whole file.
struct LangFile {
  IniFile ini;
  bool utf8 = false;

  bool Load(const std::string& path) {
    if (!ini.Load(path)) return false;
    utf8 = IsValidUtf8(ini.Bytes());
    return true;
  }
  // The built-in English texts, for a chosen file that cannot be read.
  void LoadBuiltIn() {
    ini.Parse(EmbeddedLanguageFile(false));
    utf8 = IsValidUtf8(ini.Bytes());
  }
  // found=false leaves def; the result is UTF-8 cut to the buffer.
  std::string Get(std::string_view section, std::string_view key, std::string_view def) const {
    std::string raw;
    std::string text = ini.Find(section, key, &raw) ? (utf8 ? raw : GbkToUtf8(raw)) : std::string(def);
    return TruncateUtf8(text, kLangBufChars - 1);
  }
};

std::string ReplaceBackslashN(std::string s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string CurrentLangPath() {
  std::lock_guard<std::mutex> lock(LangMutex());
  return LangPath();
}

std::string ReadCurrent(std::string_view section, std::string_view key, std::string_view def) {
  LangFile f;
  const std::string path = CurrentLangPath();
  if (!f.Load(path) && !path.empty() && !UnreadableReason(path).empty()) f.LoadBuiltIn();
  return f.Get(section, key, def);
}

// The language name setting.ini asks for, decoded for comparison.
std::string SettingsLanguage() {
  return DecodeForDisplay(GetSettingString(kSectionSetting, kKeyLanguage, "English", kLangBufChars));
}

struct LangListing {
  std::string path;
  std::string name;  // decoded display name, may be empty
};

std::vector<LangListing> ListLanguageFiles(const std::string& dir) {
  std::vector<LangListing> out;
  std::vector<DirEntry> entries;
  if (dir.empty() || !ListDir(dir, &entries)) return out;
  for (const DirEntry& e : entries) {
    if (!e.isFile || !HasExtensionNoCase(e.name, ".ini")) continue;
    LangFile f;
    std::string path = dir + e.name;
    if (!f.Load(path)) {
      const std::string reason = UnreadableReason(path);
      if (!reason.empty())
        ReportOnce(path + reason, "cannot read the language file " + path + " (" + reason + "): skipped, left as it is");
      continue;
    }
    out.push_back({path, f.Get(kSectionSetting, kKeyLanguage, "")});
  }
  return out;
}

}  // namespace

std::string_view EmbeddedLanguageFile(bool chinese) {
  if (chinese) return {reinterpret_cast<const char*>(kLanguageFileChinese), kLanguageFileChineseSize};
  return {reinterpret_cast<const char*>(kLanguageFileEnglish), kLanguageFileEnglishSize};
}

bool WriteDefaultLanguageFiles(const std::string& dir) {
  if (!MakeDirs(dir)) return false;
  // A file of that name that cannot be read is not replaced: the built-in
  // texts serve in its place.
  auto write = [&](const char* name, std::string_view bytes) {
    const std::string path = dir + name;
    const std::string reason = UnreadableReason(path);
    if (!reason.empty()) {
      ReportOnce(path + reason, "cannot read the language file " + path + " (" + reason +
                           "): the built-in texts are used and the file is left as it is");
      return false;
    }
    return WriteWholeFile(path, bytes);
  };
  bool ok = write(kEnglishFileName, EmbeddedLanguageFile(false));
  ok = write(kChineseFileName, EmbeddedLanguageFile(true)) && ok;
  return ok;
}

std::string GetLangString(std::string_view key) {
  return ReplaceBackslashN(ReadCurrent(kSectionString, key, kLangNotFound));
}

std::string LangTextOf(std::string_view fileBytes, std::string_view section, std::string_view key,
                       std::string_view def) {
  LangFile f;
  f.ini.Parse(fileBytes);
  f.utf8 = IsValidUtf8(f.ini.Bytes());
  return ReplaceBackslashN(f.Get(section, key, def));
}

std::string GetLangName() { return ReplaceBackslashN(ReadCurrent(kSectionSetting, kKeyLanguage, kLangNotFound)); }

std::string GetLangDialogTitle(int templateId) {
  return ReadCurrent(kSectionString, "IDD" + std::to_string(templateId) + "_Title", "");
}

std::string GetLangDialogText(int templateId, int controlId) {
  return ReadCurrent(kSectionString, "IDD" + std::to_string(templateId) + "_" + std::to_string(controlId), "");
}

std::string SelectLanguage(std::string_view requested) {
  std::string name = requested.empty() ? SettingsLanguage() : std::string(requested);
  const std::string dir = GetAppPaths().languageDir;
  std::string chosen;
  // An empty name never matches: a stray .ini file without a [Setting]
  // Language would otherwise become the language and show "Not found" everywhere.
  if (!name.empty()) {
    for (const LangListing& f : ListLanguageFiles(dir)) {
      if (f.name == name) {
        chosen = f.path;
        break;
      }
    }
  }
  if (chosen.empty()) {
    if (!dir.empty()) WriteDefaultLanguageFiles(dir);
    chosen = dir.empty() ? "" : dir + kEnglishFileName;
    name = "English";
  }
  {
    std::lock_guard<std::mutex> lock(LangMutex());
    LangPath() = chosen;
  }
  SetSettingString(kSectionSetting, kKeyLanguage, name);
  return name;
}

std::string GetLanguagePath() { return CurrentLangPath(); }

std::vector<LanguageMenuItem> BuildLanguageMenu() {
  std::vector<LanguageMenuItem> menu;
  const std::string current = SettingsLanguage();
  for (const LangListing& f : ListLanguageFiles(GetAppPaths().languageDir)) {
    if (f.name.empty()) continue;
    if (menu.size() == static_cast<std::size_t>(kLanguageCommandCount)) break;
    int id = kLanguageCommandFirst + static_cast<int>(menu.size());
    menu.push_back({f.name, id, f.name == current});
  }
  return menu;
}

bool ChooseLanguageCommand(std::vector<LanguageMenuItem>& menu, int commandId) {
  LanguageMenuItem* chosen = nullptr;
  for (auto& item : menu)
    if (item.commandId == commandId) chosen = &item;
  if (!chosen) return false;
  for (auto& item : menu) item.checked = &item == chosen;
  SelectLanguage(chosen->name);
  return true;
}

}  // namespace corvane
