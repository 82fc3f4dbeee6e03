#include "catalogue.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <set>
#include <utility>

#include "fs_util.h"
#include "record_probe.h"
#include "settings.h"

namespace corvane {

const ListColumnSpec kListColumns[kColumnCount] = {
    {"IDS_LIST_DATA", 65, true},     {"IDS_LIST_TIME", 60, true},   {"IDS_LIST_DURATION", 75, true},
    {"IDS_LIST_CHANNEL", 60, true},  {"IDS_LIST_STATUS", 65, true}, {"IDS_LIST_PATH", 0, false},
};

namespace {

// Writes v at p as printf writes it for "%0*d" (pad '0': zeros after the
// sign) or "%*d" (pad ' ': spaces before the sign) with that width; returns
// the end. The row texts of every listed file are made with it, which
// snprintf's format parsing made a noticeable part of a folder scan.
char* PutInt(char* p, int64_t v, int width, char pad) {
  if (v >= 0 && v < 100 && width == 2 && pad == '0') {  // most fields of a date or a time
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    return p + 2;
  }
  char digits[20];
  int n = 0;
  uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    digits[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  int len = n + (v < 0 ? 1 : 0);
  if (pad == ' ')
    for (; len < width; ++len) *p++ = ' ';
  if (v < 0) *p++ = '-';
  if (pad == '0')
    for (; len < width; ++len) *p++ = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

// "%0Nd<sep>%0Nd<sep>%0Nd" with the first field's width and pad given.
std::string ThreeFields(int64_t a, int aWidth, char aPad, char sep, int64_t b, int64_t c) {
  char buf[80];  // three 64-bit numbers with signs and separators
  char* p = PutInt(buf, a, aWidth, aPad);
  *p++ = sep;
  p = PutInt(p, b, 2, '0');
  *p++ = sep;
  p = PutInt(p, c, 2, '0');
  return std::string(buf, static_cast<std::size_t>(p - buf));
}

}  // namespace

std::string DurationText(int64_t seconds) {
  if (seconds <= 0) return "--:--:--";
  return ThreeFields(seconds / 3600, 2, '0', ':', static_cast<int>(seconds % 3600 / 60),
                     static_cast<int>(seconds % 60));
}

RecordRow MakeRecordRow(std::string path, const RecordName& name, std::unique_ptr<RecFileInfo> info) {
  RecordRow row;
  row.text[kColumnDate] = ThreeFields(name.year, 4, ' ', '-', name.month, name.day);  // "%4d-%02d-%02d"
  row.text[kColumnTime] = ThreeFields(name.hour, 2, '0', ':', name.minute, name.second);
  row.text[kColumnDuration] = DurationText(info->duration);
  if (info->channel < 0) {
    row.text[kColumnChannel] = "1,2,3,4";
  } else {
    char buf[24];
    row.text[kColumnChannel].assign(buf, PutInt(buf, info->channel + 1, 0, ' '));
  }
  row.text[kColumnPath] = std::move(path);
  row.image = RecordTypeImage(info->typeMask);
  row.info = std::move(info);
  return row;
}

void FolderSummary::Reset(int64_t now) {
  typesSeen = 0;
  earliestStart = now;
  latestEnd = 0;
  carList.clear();
  carNumbers.clear();
}

namespace {

bool StartsBefore(const RecordRow& a, const RecordRow& b) { return a.info->start < b.info->start; }

}  // namespace

void RecordList::InsertAll(std::vector<RecordRow> rows) {
  // Inserting one by one after every equal start is a stable sort of the new
  // rows merged behind the existing rows of equal start. A recorder's tree
  // (day folders, names that begin with the start) is walked in start order
  // already, and a folder scan starts from an empty list: then the rows are
  // taken as they are, without moving each row through a sort and a merge.
  if (!std::is_sorted(rows.begin(), rows.end(), StartsBefore))
    std::stable_sort(rows.begin(), rows.end(), StartsBefore);
  if (rows.empty()) return;
  if (rows_.empty()) {
    rows_ = std::move(rows);
    return;
  }
  if (!StartsBefore(rows.front(), rows_.back())) {  // every new row goes after every old one
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    return;
  }
  std::vector<RecordRow> merged;
  merged.reserve(rows_.size() + rows.size());
  std::merge(std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()),
             std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()), std::back_inserter(merged),
             StartsBefore);
  rows_ = std::move(merged);
}

std::size_t RecordList::IndexOfPath(const std::string& path) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].text[kColumnPath] == path) return i;
  return npos;
}

std::vector<std::size_t> RecordList::PeriodGroup(std::size_t i) const {
  std::vector<std::size_t> group;
  if (i >= rows_.size()) return group;
  const int64_t start = rows_[i].info->start;
  for (std::size_t k = 0; k < rows_.size(); ++k)
    if (rows_[k].info->start == start) group.push_back(k);
  return group;
}

namespace {

constexpr int64_t kDaySeconds = 86400;

struct Scanner {
  RecordTypeMask typeMask;
  int64_t fromTime;
  int64_t toTime;
  const std::string& carNumber;
  int searchMode;
  const ScanControl& control;
  FolderSummary& summary;

  std::vector<RecordRow> found;
  ScanResult result;
  std::set<std::pair<dev_t, ino_t>> visited;  // folders entered, so a link loop ends

  bool Cancelled() {
    if (!result.cancelled && control.cancel && control.cancel->load(std::memory_order_relaxed))
      result.cancelled = true;
    return result.cancelled;
  }

  bool Passes(const RecFileInfo& info, const std::string& car) const {
    if ((typeMask & info.typeMask) == 0) return false;
    if (info.start + info.duration < fromTime) return false;
    // Listed while it starts up to 86399 s after toTime (toTime names a day).
    if (toTime <= INT64_MAX - kDaySeconds && info.start >= toTime + kDaySeconds) return false;
    if (!carNumber.empty() && carNumber != car) return false;
    return true;
  }

  void File(int dirFd, std::string path, const std::string& name) {
    RecordKind kind;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return;
    const std::string_view ext = std::string_view(name).substr(dot);
    if (HasExtensionNoCase(ext, ".krv") && ext.size() == 4)
      kind = RecordKind::Krv;
    else if (HasExtensionNoCase(ext, ".avi") && ext.size() == 4)
      kind = RecordKind::Avi;
    else
      return;

    const RecordName parsed = ParseRecordName(name, kind);
    // The type filter needs the name only; a file it refuses is not opened.
    if ((typeMask & parsed.typeMask) == 0) return;
    ProbeFacts facts;
    if (kind == RecordKind::Krv)
      ProbeKrvAt(dirFd, name, path, &facts);
    else
      ProbeAvi(path, &facts);

    auto info = std::make_unique<RecFileInfo>();
    info->start = parsed.start;
    info->duration = facts.durationUs / 1000000;
    info->channel = parsed.channel;
    info->typeMask = parsed.typeMask;
    for (int c = 0; c < 4; ++c) {
      info->videoBitrate[c] = facts.videoBitrate[c];
      info->width[c] = facts.width[c];
      info->height[c] = facts.height[c];
      info->frameRate[c] = facts.frameRate[c];
    }
    if (!Passes(*info, facts.carNumber)) return;

    if (searchMode == 0) {
      summary.typesSeen |= info->typeMask;
      summary.earliestStart = std::min(summary.earliestStart, info->start);
      summary.latestEnd = std::max(summary.latestEnd, info->start + info->duration);
      // Plain substring test: an empty number, or one inside a number
      // already listed, is not added.
      if (summary.carList.find(facts.carNumber) == std::string::npos) {
        summary.carList += ' ';
        summary.carList += facts.carNumber;
        summary.carNumbers.push_back(facts.carNumber);
      }
    }
    found.push_back(MakeRecordRow(std::move(path), parsed, std::move(info)));
    ++result.filesListed;
  }

  void Folder(const std::string& folder) {
    struct FdCloser {
      int fd;
      ~FdCloser() {
        if (fd >= 0) ::close(fd);
      }
    } dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    struct stat st;
    if (dir.fd < 0 || ::fstat(dir.fd, &st) != 0) return;
    if (!visited.insert({st.st_dev, st.st_ino}).second) return;
    std::vector<DirEntry> entries;
    if (!ListDirFd(dir.fd, &entries)) return;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const DirEntry& e : entries) {
      if (Cancelled()) return;
      if (e.isDir) {
        Folder(prefix + e.name);
        continue;
      }
      if (!e.isFile) continue;
      File(dir.fd, prefix + e.name, e.name);
      ++result.filesSeen;
      if (control.progress && !control.progress(result.filesSeen)) result.cancelled = true;
    }
  }
};

}  // namespace

ScanResult ScanRecordFolder(RecordList& list, const std::string& folder, RecordTypeMask typeMask,
                            int64_t fromTime, int64_t toTime, const std::string& carNumber, int searchMode,
                            const ScanControl& control) {
  Scanner s{typeMask, fromTime, toTime, carNumber, searchMode, control, list.summary, {}, {}, {}};
  if (!folder.empty()) s.Folder(folder);
  list.InsertAll(std::move(s.found));
  return s.result;
}

uint64_t RecordFileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || st.st_size < 0) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool RecordFolderPathTooLong(std::string_view path) {
  std::size_t chars = 0;
  for (char c : path)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++chars;
  return chars > kMaxRecordFolderChars;
}

FolderScanStatus CheckRecordFolder(const std::string& path, std::string* error) {
  if (error) error->clear();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    const int e = errno;
    if (error) *error = std::strerror(e);
    if (e == ENOENT) return FolderScanStatus::Missing;
    if (e == ENOTDIR) return FolderScanStatus::NotAFolder;
    return FolderScanStatus::Unreadable;
  }
  if (!S_ISDIR(st.st_mode)) return FolderScanStatus::NotAFolder;
  DIR* d = ::opendir(path.c_str());
  if (!d) {
    if (error) *error = std::strerror(errno);
    return FolderScanStatus::Unreadable;
  }
  ::closedir(d);
  return FolderScanStatus::Ok;
}

std::string FolderStatusText(FolderScanStatus status, const std::string& path, const std::string& error) {
  switch (status) {
    case FolderScanStatus::PathTooLong:
      return kPathTooLongText;
    case FolderScanStatus::Missing:
      return "The record folder does not exist: " + path;
    case FolderScanStatus::NotAFolder:
      return "The record path is not a folder: " + path;
    case FolderScanStatus::Unreadable:
      return "The record folder cannot be read: " + path + (error.empty() ? "" : " (" + error + ")");
    case FolderScanStatus::Ok:
    case FolderScanStatus::Cancelled:
      break;
  }
  return "";
}

FolderScanStatus OpenRecordFolder(RecordList& list, const std::string& path, int64_t now,
                                  const ScanControl& control) {
  const bool tooLong = RecordFolderPathTooLong(path);
  // A folder that is not there or cannot be listed leaves the list as it is.
  if (!tooLong) {
    const FolderScanStatus usable = CheckRecordFolder(path);
    if (usable != FolderScanStatus::Ok) return usable;
  }
  list.Clear();
  list.summary.Reset(now);
  if (tooLong) return FolderScanStatus::PathTooLong;
  ScanResult r = ScanRecordFolder(list, path, kAllRecordTypes, 0, now, "", 0, control);
  // A cancelled scan listed part of the folder: the folder stored stays the
  // one last read to its end.
  if (r.cancelled) return FolderScanStatus::Cancelled;
  SetSettingString(kSectionBrightmere, kKeyFolderName, path);
  return FolderScanStatus::Ok;
}

FolderScanStatus SearchRecordFolder(RecordList& list, RecordTypeMask typeMask, int64_t fromTime, int64_t toTime,
                                    const std::string& carNumber, const ScanControl& control) {
  list.Clear();
  const std::string folder = GetSettingString(kSectionBrightmere, kKeyFolderName, "", kSettingBufChars);
  if (RecordFolderPathTooLong(folder)) return FolderScanStatus::PathTooLong;
  ScanResult r = ScanRecordFolder(list, folder, typeMask, fromTime, toTime, carNumber, 1, control);
  return r.cancelled ? FolderScanStatus::Cancelled : FolderScanStatus::Ok;
}

}  // namespace corvane
