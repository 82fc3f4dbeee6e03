// Private-profile INI files: setting.ini, the language files and temp.ini.
//
// Semantics the program relies on:
// - files are 8-bit bytes; values come back exactly as stored (no decoding);
// - section and key names compare without regard to ASCII case;
// - spaces and tabs around section names, keys and values are trimmed;
// - the first matching section, and within it the first matching key, wins;
// - an absent section or key yields the caller's default;
// - a read into a buffer of N characters returns at most N - 1 bytes;
// - a write replaces the one line of its key, or adds the key at the end of
//   its section (the section at the end of the file); every other line,
//   comment and line end of the file stays as it was.
// Lines starting with ';' are comments. A UTF-8 byte-order mark at the start of
// the file is skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class IniFile {
 public:
  // Files larger than this are treated as unreadable.
  static constexpr std::size_t kMaxFileBytes = 16u << 20;

  IniFile() = default;
  explicit IniFile(std::string_view bytes) { Parse(bytes); }

  // False when the file cannot be read (absent, too large); the object is then empty.
  bool Load(const std::string& path);
  void Parse(std::string_view bytes);

  // True and the trimmed value when section/key exist.
  bool Find(std::string_view section, std::string_view key, std::string* value) const;
  std::string Get(std::string_view section, std::string_view key, std::string_view def,
                  std::size_t bufChars = 1024) const;
  // Leading spaces, optional sign and decimal digits; def when absent or empty.
  int GetInt(std::string_view section, std::string_view key, int def) const;

  // False (file unchanged) when a name is empty or holds a line break, a section
  // name holds ']', a key '=' or starts with ';' or '[', or the value holds a line break.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Bytes() const;
  // Writes the whole file through a temporary file and a rename.
  bool Save(const std::string& path) const;

 private:
  struct Line {
    std::string text;  // without the line end
    std::string eol;   // "\r\n", "\n" or "" (last line without a line end)
  };
  std::string NewlineStyle() const;
  std::vector<Line> lines_;
  bool bom_ = false;
};

// One-shot helpers on a file path (each reads the file afresh).
std::string IniReadString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view def, std::size_t bufChars = 1024);
int IniReadInt(const std::string& path, std::string_view section, std::string_view key, int def);
// Read, change, write back; a missing file is created. Writes from several
// threads are serialised within the process.
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key, std::string_view value);
bool IniWriteInt(const std::string& path, std::string_view section, std::string_view key, int value);

}  // namespace corvane
