// The recorders of the live view: the host-information file
// "CSGetHostInfo.xml", its device records and their channels, and the stream
// address of a channel.
//
// The file: a root element (any name) holds group elements (any name); each
// group holds "serverproxy" and "device" elements, each of which holds value
// elements whose text is the value. "name" starts a new device; a device's
// other values go to the device most recently started (values before the
// first "name" are ignored). Texts are cut to their field's width less one.
// The file is untrusted input: every text is cut, every number saturates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace live {

// Field widths of the device record (a text keeps width - 1 bytes).
constexpr size_t kProxyIpWidth = 1024;
constexpr size_t kPortWidth = 8;
constexpr size_t kTypeWidth = 16;
constexpr size_t kIpWidth = 16;
constexpr size_t kUserWidth = 16;
constexpr size_t kPasswordWidth = 16;
// With commas, a list uses at most this many characters of its text.
constexpr size_t kListChars = 100;
constexpr int kSlots = 256;
constexpr int kSlotNone = -2;    // no such channel
constexpr int kSlotListed = -1;  // listed, no identifier yet
constexpr int kDefaultRtspPort = 554;

struct ServerProxy {
  std::string ip;
  std::string port;
};

struct DeviceRecord {
  std::string name;  // the tree item's text (UTF-8)
  std::string type, ip, port, username, password;
  // "rtspport": the port of the reachability check and of the stream
  // address; 554 when absent or not 1..65535.
  int rtspPort = kDefaultRtspPort;
  int32_t channelSlots[kSlots];  // kSlotNone, kSlotListed or an identifier 0..255
  uint8_t channelCount = 0;
  // The channel items under the device, in order: each carries its number
  // n (shown as "Channel<n + 1>"); numbers outside 0..255 included.
  std::vector<int> channels;

  DeviceRecord();
};

struct HostInfo {
  std::vector<ServerProxy> proxies;
  std::vector<DeviceRecord> devices;
};

// Parses the file's bytes. False (and *out empty) when they are not XML or
// have no root element.
bool ParseHostInfo(const char* data, size_t size, HostInfo* out);
// Reads and parses a file. False when it cannot be read, is larger than
// kMaxHostFileBytes, or does not parse.
constexpr long long kMaxHostFileBytes = 16LL * 1024 * 1024;
bool LoadHostInfo(const std::string& path, HostInfo* out);

// "CSGetHostInfo.xml" beside the executable, else in the data folder (both
// folders end with '/'); "" when neither exists.
constexpr char kHostFileName[] = "CSGetHostInfo.xml";
std::string FindHostFile(const std::string& appDir, const std::string& dataDir);

// The list rules: a text without a comma is one number; with commas, the
// first kListChars characters are split at each comma and every field is
// read like atoi (leading blanks skipped, trailing text ignored; saturating).
std::vector<int> ParseNumberList(const std::string& text);
int AtoiSaturating(const char* text);

// The label of a channel item: "Channel%d" with n + 1.
std::string ChannelLabel(int n);

// The live address of channel n: "rtsp://IP/chnN", or "rtsp://IP:PORT/chnN"
// when the device's port is not 554.
std::string StreamAddress(const DeviceRecord& device, int n);

}  // namespace live
