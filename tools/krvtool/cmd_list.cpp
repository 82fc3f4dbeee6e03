// krvtool list: the recording catalogue of a record folder, as the window lists it.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "command.h"
#include "core/catalogue.h"

namespace {

const char kUsage[] =
    "usage: krvtool list DIR [--types HEX] [--from EPOCH] [--to EPOCH] [--car TEXT] [--summary]\n"
    "  Scans DIR and its subfolders for *.krv and *.avi recordings and prints one\n"
    "  tab-separated line per listed file, in list order (ascending start):\n"
    "    date  time  duration  channels  type-picture(0-15)  path\n"
    "  --types HEX   record-type mask, 0xFF per wanted type byte (default FFFFFFFF)\n"
    "  --from EPOCH  list files that end at or after this second (default 0)\n"
    "  --to EPOCH    list files that start before this second + 86400 (default now)\n"
    "  --car TEXT    only this car number (exact)\n"
    "  --summary     add a last line: summary<TAB>TYPES_SEEN_HEX<TAB>EARLIEST_START<TAB>LATEST_END<TAB>CARLIST\n";

extern const krvtool::Command kListCommand;

bool ParseInt64(const std::string& text, int64_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseHex32(const std::string& text, uint32_t* out) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
  if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  *out = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
  return true;
}

constexpr std::size_t kListBlockBytes = 64 * 1024;

// A text as %s prints it: up to its first NUL.
void AppendText(const std::string& text, std::string* out) { out->append(text.c_str()); }

// One row's line, byte for byte what the format above prints.
void AppendRow(const corvane::RecordRow& row, std::string* out) {
  AppendText(row.text[corvane::kColumnDate], out);
  *out += '\t';
  AppendText(row.text[corvane::kColumnTime], out);
  *out += '\t';
  AppendText(row.text[corvane::kColumnDuration], out);
  *out += '\t';
  AppendText(row.text[corvane::kColumnChannel], out);
  *out += '\t';
  if (row.image >= 0 && row.image < 100) {  // the type pictures are 0..15
    if (row.image >= 10) *out += static_cast<char>('0' + row.image / 10);
    *out += static_cast<char>('0' + row.image % 10);
  } else {
    char image[16];
    const int n = std::snprintf(image, sizeof image, "%d", row.image);
    out->append(image, static_cast<std::size_t>(n > 0 ? n : 0));
  }
  *out += '\t';
  AppendText(row.text[corvane::kColumnPath], out);
  *out += '\n';
}

int RunList(const std::vector<std::string>& args) {
  std::string dir, car;
  uint32_t types = corvane::kAllRecordTypes;
  int64_t from = 0, to = static_cast<int64_t>(std::time(nullptr));
  bool summary = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--types") {
      if (!value(&v) || !ParseHex32(v, &types)) return krvtool::usageError(kListCommand, "--types needs a hex mask");
    } else if (a == "--from") {
      if (!value(&v) || !ParseInt64(v, &from)) return krvtool::usageError(kListCommand, "--from needs seconds");
    } else if (a == "--to") {
      if (!value(&v) || !ParseInt64(v, &to)) return krvtool::usageError(kListCommand, "--to needs seconds");
    } else if (a == "--car") {
      if (!value(&car)) return krvtool::usageError(kListCommand, "--car needs a text");
    } else if (a == "--summary") {
      summary = true;
    } else if (!a.empty() && a[0] == '-') {
      return krvtool::usageError(kListCommand, "unknown option " + a);
    } else if (dir.empty()) {
      dir = a;
    } else {
      return krvtool::usageError(kListCommand, "one folder only");
    }
  }
  if (dir.empty()) return krvtool::usageError(kListCommand, "no folder given");
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "krvtool list: %s: not a folder\n", dir.c_str());
    return krvtool::kFileError;
  }

  corvane::RecordList list;
  list.summary.Reset(static_cast<int64_t>(std::time(nullptr)));
  corvane::ScanRecordFolder(list, dir, types, from, to, car, 0);
  // The rows as "%s\t%s\t%s\t%s\t%d\t%s\n" would print them, gathered into
  // one buffer written in large blocks: formatting each row through printf
  // cost as much as probing its file.
  std::string out;
  out.reserve(kListBlockBytes + 4096);
  for (std::size_t i = 0; i < list.size(); ++i) {
    AppendRow(list.row(i), &out);
    if (out.size() >= kListBlockBytes) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (summary) {
    const corvane::FolderSummary& s = list.summary;
    std::printf("summary\t%08" PRIx32 "\t%" PRId64 "\t%" PRId64 "\t%s\n", s.typesSeen, s.earliestStart, s.latestEnd,
                s.carList.c_str());
  }
  return std::fflush(stdout) == 0 ? krvtool::kOk : krvtool::kFileError;
}

const krvtool::Command kListCommand{"list", "list the recordings of a record folder", kUsage, RunList};
KRVTOOL_COMMAND(kListCommand);

}  // namespace
