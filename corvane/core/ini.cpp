#include "ini.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <mutex>

#include "fs_util.h"

namespace corvane {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// "[name]" -> name; false for other lines.
bool SectionName(std::string_view line, std::string_view* name) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return false;
  line.remove_prefix(1);
  std::size_t close = line.find(']');
  if (close != std::string_view::npos) line = line.substr(0, close);
  *name = Trim(line);
  return true;
}

// "key=value" -> key, value; false for comments and lines without '='.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return true;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::mutex& WriteMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

bool IniFile::Load(const std::string& path) {
  lines_.clear();
  bom_ = false;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string bytes;
  char buf[8192];
  std::size_t n;
  bool ok = true;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (bytes.size() + n > kMaxFileBytes) {
      ok = false;
      break;
    }
    bytes.append(buf, n);
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  if (!ok) return false;
  Parse(bytes);
  return true;
}

void IniFile::Parse(std::string_view bytes) {
  lines_.clear();
  bom_ = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (bom_) bytes.remove_prefix(3);
  while (!bytes.empty()) {
    std::size_t nl = bytes.find('\n');
    Line line;
    if (nl == std::string_view::npos) {
      line.text = std::string(bytes);
      bytes = {};
    } else {
      std::size_t end = nl;
      if (end > 0 && bytes[end - 1] == '\r') --end;
      line.text = std::string(bytes.substr(0, end));
      line.eol = std::string(bytes.substr(end, nl + 1 - end));
      bytes.remove_prefix(nl + 1);
    }
    lines_.push_back(std::move(line));
  }
}

bool IniFile::Find(std::string_view section, std::string_view key, std::string* value) const {
  section = Trim(section);
  key = Trim(key);
  bool inSection = false, seenSection = false;
  for (const Line& line : lines_) {
    std::string_view name, k, v;
    if (SectionName(line.text, &name)) {
      if (inSection) return false;  // the first matching section ended
      inSection = !seenSection && SameName(name, section);
      seenSection = seenSection || inSection;
      continue;
    }
    if (inSection && KeyValue(line.text, &k, &v) && SameName(k, key)) {
      if (value) *value = std::string(v);
      return true;
    }
  }
  return false;
}

std::string IniFile::Get(std::string_view section, std::string_view key, std::string_view def,
                         std::size_t bufChars) const {
  std::string value;
  if (!Find(section, key, &value)) value = std::string(def);
  std::size_t limit = bufChars > 0 ? bufChars - 1 : 0;
  if (value.size() > limit) value.resize(limit);
  return value;
}

int IniFile::GetInt(std::string_view section, std::string_view key, int def) const {
  std::string value;
  if (!Find(section, key, &value) || value.empty()) return def;
  std::size_t i = 0;
  bool negative = false;
  if (value[i] == '+' || value[i] == '-') negative = value[i++] == '-';
  long long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;  // saturate
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  return static_cast<int>(n);
}

std::string IniFile::NewlineStyle() const {
  for (const Line& line : lines_)
    if (!line.eol.empty()) return line.eol;
  return "\r\n";
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  value = Trim(value);
  if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      key.front() == ';' || key.front() == '[')
    return false;
  const std::string nl = NewlineStyle();
  // Locate the first matching section: its header line and its last key line.
  std::size_t header = lines_.size(), lastEntry = lines_.size();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name, k, v;
    if (SectionName(lines_[i].text, &name)) {
      if (header != lines_.size()) break;
      if (SameName(name, section)) header = lastEntry = i;
      continue;
    }
    if (header == lines_.size()) continue;
    if (KeyValue(lines_[i].text, &k, &v)) {
      if (SameName(k, key)) {
        lines_[i].text = std::string(k) + "=" + std::string(value);
        return true;
      }
    }
    if (!Trim(lines_[i].text).empty()) lastEntry = i;
  }
  if (!lines_.empty() && lines_.back().eol.empty()) {
    // A last line that ends in a bare CR keeps it: with "\n" after it the CR
    // would read as part of the line end, and the line would change meaning
    // ("[a\r" would become the header "[a]").
    const std::string& text = lines_.back().text;
    lines_.back().eol = !text.empty() && text.back() == '\r' ? "\r\n" : nl;
  }
  Line entry{std::string(key) + "=" + std::string(value), nl};
  if (header == lines_.size()) {
    lines_.push_back(Line{std::string("[").append(section).append("]"), nl});
    lines_.push_back(std::move(entry));
  } else {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1), std::move(entry));
  }
  return true;
}

std::string IniFile::Bytes() const {
  std::string out = bom_ ? "\xEF\xBB\xBF" : "";
  for (const Line& line : lines_) out += line.text + line.eol;
  return out;
}

bool IniFile::Save(const std::string& path) const { return WriteWholeFile(path, Bytes()); }

std::string IniReadString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view def, std::size_t bufChars) {
  IniFile ini;
  ini.Load(path);
  return ini.Get(section, key, def, bufChars);
}

int IniReadInt(const std::string& path, std::string_view section, std::string_view key, int def) {
  IniFile ini;
  ini.Load(path);
  return ini.GetInt(section, key, def);
}

bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
  if (path.empty()) return false;
  std::lock_guard<std::mutex> lock(WriteMutex());
  IniFile ini;
  if (!ini.Load(path)) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return false;  // there but unreadable: do not clobber it
  }
  return ini.Set(section, key, value) && ini.Save(path);
}

bool IniWriteInt(const std::string& path, std::string_view section, std::string_view key, int value) {
  return IniWriteString(path, section, key, std::to_string(value));
}

}  // namespace corvane
