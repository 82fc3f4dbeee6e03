// Small file-system helpers shared by the core.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// mkdir -p; true when the folder exists afterwards.
bool MakeDirs(const std::string& dir);

// Writes bytes to path (created or truncated) through a temporary file and a rename.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

struct DirEntry {
  std::string name;
  bool isDir = false;
  bool isFile = false;  // regular file (after following a symbolic link)
};
// The entries of dir other than "." and "..", sorted by name (byte order), so
// a listing comes out the same on every file system. False when dir cannot be opened.
bool ListDir(const std::string& dir, std::vector<DirEntry>* out);
// The same for a folder the caller has open (dirFd stays open and unmoved).
bool ListDirFd(int dirFd, std::vector<DirEntry>* out);

// Why path, which exists, cannot be read ("" when it can be read or does not
// exist): the system's reason, e.g. "Permission denied" or "Is a directory".
std::string UnreadableReason(const std::string& path);

// Writes "corvane: MESSAGE" to stderr once per key for the life of the
// process (the same damaged file is met again and again).
void ReportOnce(const std::string& key, const std::string& message);

// True when name ends with ext, compared without regard to ASCII case.
bool HasExtensionNoCase(std::string_view name, std::string_view ext);

}  // namespace corvane
