// libFuzzer target: arbitrary bytes as the live view's host file, through
// the parser and the address each channel item would open.
#include <cstddef>
#include <cstdint>

#include "live/host_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  live::HostInfo info;
  if (!live::ParseHostInfo(reinterpret_cast<const char*>(data), size, &info)) return 0;
  size_t total = 0;
  for (const live::DeviceRecord& d : info.devices) {
    for (int n : d.channels) {
      total += live::ChannelLabel(n).size();
      if (n >= 0 && n < 4) total += live::StreamAddress(d, n).size();
    }
    for (int32_t s : d.channelSlots)
      if (s < live::kSlotNone || s > 255) __builtin_trap();  // a slot holds -2, -1 or 0..255
    if (d.ip.size() >= live::kIpWidth || d.username.size() >= live::kUserWidth) __builtin_trap();
  }
  return total == SIZE_MAX ? 1 : 0;
}
