#include "live/host_info.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include <tinyxml2.h>

namespace live {

namespace {

std::string Cut(const char* text, size_t width) {
  const size_t n = std::strlen(text);
  return std::string(text, n < width - 1 ? n : width - 1);
}

void ApplyChannelList(DeviceRecord& d, const char* text) {
  for (int n : ParseNumberList(text)) {
    if (n >= 0 && n < kSlots) d.channelSlots[n] = kSlotListed;
    d.channels.push_back(n);
    ++d.channelCount;  // 8 bits, as the record keeps it
  }
}

void ApplyIdList(DeviceRecord& d, const char* text) {
  for (int id : ParseNumberList(text)) {
    // Into 0..255 (for negative numbers too).
    const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(id) & 0xFFu);
    for (int32_t& slot : d.channelSlots) {
      if (slot == kSlotListed) {
        slot = value;
        break;
      }
    }
  }
}

void ApplyDeviceValue(DeviceRecord& d, const char* name, const char* text) {
  if (std::strcmp(name, "type") == 0) {
    d.type = Cut(text, kTypeWidth);
  } else if (std::strcmp(name, "ip") == 0) {
    d.ip = Cut(text, kIpWidth);
  } else if (std::strcmp(name, "port") == 0) {
    d.port = Cut(text, kPortWidth);
  } else if (std::strcmp(name, "username") == 0) {
    d.username = Cut(text, kUserWidth);
  } else if (std::strcmp(name, "password") == 0) {
    d.password = Cut(text, kPasswordWidth);
  } else if (std::strcmp(name, "channelnum") == 0) {
    ApplyChannelList(d, text);
  } else if (std::strcmp(name, "deviceid") == 0) {
    ApplyIdList(d, text);
  } else if (std::strcmp(name, "rtspport") == 0) {
    const int port = AtoiSaturating(text);
    d.rtspPort = port >= 1 && port <= 65535 ? port : kDefaultRtspPort;
  }
}

}  // namespace

DeviceRecord::DeviceRecord() {
  for (int32_t& s : channelSlots) s = kSlotNone;
}

int AtoiSaturating(const char* text) {
  const char* p = text;
  while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::vector<int> ParseNumberList(const std::string& text) {
  std::vector<int> out;
  if (text.find(',') == std::string::npos) {
    out.push_back(AtoiSaturating(text.c_str()));
    return out;
  }
  const std::string used = text.substr(0, kListChars);
  size_t start = 0;
  for (;;) {
    const size_t comma = used.find(',', start);
    const std::string field = used.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    out.push_back(AtoiSaturating(field.c_str()));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

bool ParseHostInfo(const char* data, size_t size, HostInfo* out) {
  *out = HostInfo{};
  tinyxml2::XMLDocument doc;
  if (data == nullptr || doc.Parse(data, size) != tinyxml2::XML_SUCCESS) return false;
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (root == nullptr) return false;
  DeviceRecord* current = nullptr;  // the device most recently started by "name"
  for (const tinyxml2::XMLElement* group = root->FirstChildElement(); group; group = group->NextSiblingElement()) {
    for (const tinyxml2::XMLElement* part = group->FirstChildElement(); part; part = part->NextSiblingElement()) {
      const bool proxy = std::strcmp(part->Name(), "serverproxy") == 0;
      const bool device = std::strcmp(part->Name(), "device") == 0;
      if (!proxy && !device) continue;
      if (proxy) out->proxies.emplace_back();
      for (const tinyxml2::XMLElement* v = part->FirstChildElement(); v; v = v->NextSiblingElement()) {
        // Only value elements whose first child is text are used.
        const char* text = v->GetText();
        if (text == nullptr) continue;
        const char* name = v->Name();
        if (proxy) {
          if (std::strcmp(name, "ip") == 0) out->proxies.back().ip = Cut(text, kProxyIpWidth);
          if (std::strcmp(name, "port") == 0) out->proxies.back().port = Cut(text, kPortWidth);
          continue;
        }
        if (std::strcmp(name, "name") == 0) {
          out->devices.emplace_back();
          current = &out->devices.back();
          current->name = text;
          continue;
        }
        if (current != nullptr) ApplyDeviceValue(*current, name, text);
      }
    }
  }
  return true;
}

bool LoadHostInfo(const std::string& path, HostInfo* out) {
  *out = HostInfo{};
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  // A host file is a few kilobytes; anything past this is not one.
  const std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxHostFileBytes) return false;
  in.seekg(0);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  return ParseHostInfo(bytes.data(), bytes.size(), out);
}

std::string FindHostFile(const std::string& appDir, const std::string& dataDir) {
  for (const std::string* dir : {&appDir, &dataDir}) {
    if (dir->empty()) continue;
    const std::string path = *dir + kHostFileName;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
  }
  return "";
}

std::string ChannelLabel(int n) {
  char text[32];
  std::snprintf(text, sizeof text, "Channel%lld", static_cast<long long>(n) + 1);
  return text;
}

std::string StreamAddress(const DeviceRecord& device, int n) {
  char text[2048];
  if (device.rtspPort == kDefaultRtspPort)
    std::snprintf(text, sizeof text, "rtsp://%s/chn%d", device.ip.c_str(), n);
  else
    std::snprintf(text, sizeof text, "rtsp://%s:%d/chn%d", device.ip.c_str(), device.rtspPort, n);
  return text;
}

}  // namespace live
