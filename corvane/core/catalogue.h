// The recording catalogue: a recorder's folder tree turned into the rows of
// the recording list, with the folder summary the search dialog starts from.
//
// Nothing here touches a window: RecordList is the plain model the list
// widget shows (six column texts, the type picture number, and the row's
// RecFileInfo). The list and its summary belong to one thread at a time; the
// scan may run on a worker while the window only watches its progress.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "record_name.h"

namespace corvane {

// One recording of the list, owned by its row; its address stays the same
// while the row exists (the calendar keeps copies, named by path).
// The file's size is not kept: the list does not show it, and the
// file-properties dialog reads it when it is filled (RecordFileSize), so a
// scan asks the file system nothing about the files it probes.
struct RecFileInfo {
  int64_t start = 0;     // seconds since 1970, from the name
  int64_t duration = 0;  // whole seconds from the probe; 0 when unknown
  int32_t channel = -1;  // -1 KRV (all channels), else the AVI file's channel 0..
  RecordTypeMask typeMask = 0;
  int32_t videoBitrate[4] = {0, 0, 0, 0};  // bits per second
  int32_t width[4] = {0, 0, 0, 0};
  int32_t height[4] = {0, 0, 0, 0};
  int32_t frameRate[4] = {0, 0, 0, 0};
};

enum ListColumn : int {
  kColumnDate = 0,
  kColumnTime = 1,
  kColumnDuration = 2,
  kColumnChannel = 3,
  kColumnStatus = 4,  // no text: the row's picture
  kColumnPath = 5,
  kColumnCount = 6,
};

struct ListColumnSpec {
  const char* headerKey;  // language key of the header text
  int widthPx;            // 0 = hidden
  bool centred;
};
extern const ListColumnSpec kListColumns[kColumnCount];

// The type pictures: one strip of 16 pictures of 68 x 17 pixels.
inline constexpr int kTypeImageCount = 16;
inline constexpr int kTypeImageWidth = 68;
inline constexpr int kTypeImageHeight = 17;

struct RecordRow {
  std::array<std::string, kColumnCount> text;  // text[kColumnStatus] is empty
  int image = 0;                               // 0..15: RecordTypeImage of the row's types
  std::unique_ptr<RecFileInfo> info;
};

// Duration text of the list: "hh:mm:ss" (hours not limited to two digits),
// "--:--:--" for 0 or less.
std::string DurationText(int64_t seconds);
// The row of one recording as the list shows it.
RecordRow MakeRecordRow(std::string path, const RecordName& name, std::unique_ptr<RecFileInfo> info);

// What the last folder scan (not a search) found.
struct FolderSummary {
  RecordTypeMask typesSeen = 0;  // OR of every listed file's mask
  int64_t earliestStart = 0;     // smallest start; "now" before the scan
  int64_t latestEnd = 0;         // largest start + duration
  std::string carList;           // " " + car number for each one found, in order
  // The car numbers added to carList, in order: the items for the search
  // dialog's car-number box. Bytes as stored in the recordings (see DecodeForDisplay).
  std::vector<std::string> carNumbers;

  void Reset(int64_t now);
};

class RecordList {
 public:
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const RecordRow& row(std::size_t i) const { return rows_[i]; }
  RecFileInfo* info(std::size_t i) const { return rows_[i].info.get(); }
  const std::string& path(std::size_t i) const { return rows_[i].text[kColumnPath]; }

  // Deletes every row and its RecFileInfo; the summary stays.
  void Clear() { rows_.clear(); }
  // Adds rows found in this order, each before the first row whose start is
  // greater than its own: ascending start, equal starts in the order found.
  void InsertAll(std::vector<RecordRow> rows);
  // Index of the row of the file `path`, or npos.
  std::size_t IndexOfPath(const std::string& path) const;
  // The rows of the period of row i: every row whose start equals its start, in list order.
  std::vector<std::size_t> PeriodGroup(std::size_t i) const;

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  FolderSummary summary;

 private:
  std::vector<RecordRow> rows_;
};

// Progress and cancellation of a scan. progress is called after every file
// seen (files of any kind, not folders) with the count so far; returning
// false cancels. cancel may be set from another thread.
struct ScanControl {
  std::function<bool(uint64_t filesSeen)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

struct ScanResult {
  uint64_t filesSeen = 0;
  uint64_t filesListed = 0;
  bool cancelled = false;  // the rows found until then are in the list, in order
};

// Scans folder and its subfolders (depth first, entries of each folder in name
// order) for *.krv and *.avi files and inserts those that pass the filters:
// typeMask & the file's mask non-zero, start + duration >= fromTime,
// start < toTime + 86400, and carNumber empty or equal to the file's car
// number. searchMode 0 also updates list.summary (the caller resets it first).
ScanResult ScanRecordFolder(RecordList& list, const std::string& folder, RecordTypeMask typeMask,
                            int64_t fromTime, int64_t toTime, const std::string& carNumber, int searchMode,
                            const ScanControl& control = {});

// The size in bytes (all 64 bits) of the listed file `path` as it is now;
// 0 when it cannot be read (the file is gone).
uint64_t RecordFileSize(const std::string& path);

// Record folder paths longer than this many characters are refused.
inline constexpr std::size_t kMaxRecordFolderChars = 240;
inline constexpr char kPathTooLongText[] = "The Record file path too long to read!";
bool RecordFolderPathTooLong(std::string_view path);

enum class FolderScanStatus { Ok, PathTooLong, Cancelled, Missing, NotAFolder, Unreadable };

// Whether path names a record folder that can be listed: Ok, Missing (no
// such path), NotAFolder (a file, or a path through one) or Unreadable
// (permission and other errors; *error gets the system's reason).
FolderScanStatus CheckRecordFolder(const std::string& path, std::string* error = nullptr);
// The line that tells the user why a folder cannot be opened ("" for Ok and
// Cancelled).
std::string FolderStatusText(FolderScanStatus status, const std::string& path, const std::string& error = "");

// The open-folder command after the user chose path (playback already
// stopped): refuses a folder that cannot be listed (CheckRecordFolder),
// leaving the list and FolderName as they were; else clears the list,
// resets the summary to now, refuses a path too long, scans everything up
// to now, and stores path under FolderName unless the scan was cancelled.
FolderScanStatus OpenRecordFolder(RecordList& list, const std::string& path, int64_t now,
                                  const ScanControl& control = {});
// A search: clears the list (the summary stays) and scans the stored
// FolderName with the filters in search mode.
FolderScanStatus SearchRecordFolder(RecordList& list, RecordTypeMask typeMask, int64_t fromTime, int64_t toTime,
                                    const std::string& carNumber, const ScanControl& control = {});

}  // namespace corvane
