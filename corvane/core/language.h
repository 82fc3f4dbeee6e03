// User-interface texts from the language files in the Language folder.
//
// A language file is an INI file: [Setting] Language = its display name,
// [String] one key per text (IDS_* for code, IDD<template>_Title and
// IDD<template>_<control> for dialogs). Two files are built in and written
// out when no file matches the chosen language. Every text handed out here is
// UTF-8: a file that is valid UTF-8 is read as such, any other as GBK.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr char kEnglishFileName[] = "language_eng.ini";
inline constexpr char kChineseFileName[] = "language_ch.ini";
inline constexpr char kLangNotFound[] = "Not found";
// Texts are read into buffers of this many characters.
inline constexpr std::size_t kLangBufChars = 1000;

// The built-in files, byte for byte (GBK, CR LF).
std::string_view EmbeddedLanguageFile(bool chinese);
// Creates dir (an existing one stays) and writes both built-in files into it,
// replacing files of the same names.
bool WriteDefaultLanguageFiles(const std::string& dir);

// Value of key in [String] of the current language file, "Not found" when
// absent; "\n" written as backslash + n becomes a line break.
std::string GetLangString(std::string_view key);
// The text of section/key in a language file given as its bytes, as the
// program shows it (the file decoded as a whole, cut to the buffer, "\n"
// as a line break); def when absent. GetLangString's work without the file.
std::string LangTextOf(std::string_view fileBytes, std::string_view section, std::string_view key,
                       std::string_view def);
// [Setting] Language of the current language file, "Not found" when absent.
std::string GetLangName();
// Dialog texts: "IDD<templateId>_Title" and "IDD<templateId>_<controlId>".
// "" when absent or empty: the control then keeps its own text.
std::string GetLangDialogTitle(int templateId);
std::string GetLangDialogText(int templateId, int controlId);

// Chooses the language file whose display name is name (UTF-8); an empty name
// means the one named in setting.ini (default "English"). When no file
// matches, the built-in files are written and English is used. The chosen
// name is stored in setting.ini. Returns the name in use.
std::string SelectLanguage(std::string_view name);
// Full path of the current language file ("" before SelectLanguage).
std::string GetLanguagePath();

// The language menu: one item per *.ini file of the Language folder with a
// non-empty display name, in name order, with command ids from 0x1000000.
inline constexpr int kLanguageCommandFirst = 0x1000000;
inline constexpr int kLanguageCommandCount = 100;
struct LanguageMenuItem {
  std::string name;  // display name, UTF-8
  int commandId;
  bool checked;  // name equals setting.ini's Language (default "English")
};
std::vector<LanguageMenuItem> BuildLanguageMenu();
inline bool IsLanguageCommand(int commandId) {
  return commandId >= kLanguageCommandFirst && commandId < kLanguageCommandFirst + kLanguageCommandCount;
}
// The menu command: checks the chosen item only and selects its language.
// False (nothing changed) for an id that is not in the menu.
bool ChooseLanguageCommand(std::vector<LanguageMenuItem>& menu, int commandId);

}  // namespace corvane
