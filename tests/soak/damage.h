// The damage recorders do to their files, applied to the bytes of a good
// recording: cut off at any byte (power lost), bits flipped (flash wear),
// runs of zeros (sectors never written), runs of garbage, a stretch written
// twice or lost, the file header or the metadata tag overwritten, a file of
// zeros, an empty file and one of 1-8 bytes. Seeded and the same on every
// machine (no library distributions).
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace soak {

enum class Damage {
  kTruncate,
  kBitFlips,
  kZeroRun,
  kGarbageRun,
  kDuplicate,
  kDrop,
  kHeader,
  kMetadata,
  kAllZeros,
  kEmpty,
  kTiny,
  kCount
};

inline const char* DamageName(Damage d) {
  static const char* const names[] = {"truncate", "bitflips", "zeros",   "garbage",   "duplicate", "drop",
                                      "header",   "metadata", "allzero", "empty",     "tiny"};
  return names[static_cast<int>(d)];
}

class Damager {
 public:
  explicit Damager(uint64_t seed) : rng_(seed) {}

  // A number in [0, n).
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : rng_() % n; }

  // Applies d to bytes; returns what was done, e.g. "zeros 4096 at 12800".
  // kMetadata overwrites within the first tag after a 13-byte KRV header (the
  // metadata tag), or within the first 2 KB of an AVI (its header list).
  std::string Apply(Damage d, std::vector<uint8_t>& b) {
    const uint64_t size = b.size();
    auto at = [&](uint64_t room) { return Below(room + 1); };
    switch (d) {
      case Damage::kTruncate: {
        const uint64_t keep = Below(size);
        b.resize(keep);
        return "truncate to " + std::to_string(keep);
      }
      case Damage::kBitFlips: {
        const uint64_t n = 1 + Below(64);
        for (uint64_t i = 0; i < n && size > 0; ++i) b[Below(size)] ^= static_cast<uint8_t>(1u << Below(8));
        return "bitflips " + std::to_string(n);
      }
      case Damage::kZeroRun:
      case Damage::kGarbageRun: {
        // Whole sectors, as a card loses them.
        const uint64_t len = std::min<uint64_t>(size, 512 * (1 + Below(64)));
        const uint64_t from = (at(size - len) / 512) * 512;
        for (uint64_t i = from; i < from + len && i < size; ++i)
          b[i] = d == Damage::kZeroRun ? 0 : static_cast<uint8_t>(rng_());
        return std::string(d == Damage::kZeroRun ? "zeros " : "garbage ") + std::to_string(len) + " at " +
               std::to_string(from);
      }
      case Damage::kDuplicate:
      case Damage::kDrop: {
        const uint64_t len = std::min<uint64_t>(size, 1 + Below(64 * 1024));
        const uint64_t from = at(size - len);
        if (d == Damage::kDuplicate) {
          std::vector<uint8_t> copy(b.begin() + from, b.begin() + from + len);
          b.insert(b.begin() + from + len, copy.begin(), copy.end());
          return "duplicate " + std::to_string(len) + " at " + std::to_string(from);
        }
        b.erase(b.begin() + from, b.begin() + from + len);
        return "drop " + std::to_string(len) + " at " + std::to_string(from);
      }
      case Damage::kHeader: {
        const uint64_t len = std::min<uint64_t>(size, 1 + Below(13));
        for (uint64_t i = 0; i < len; ++i) b[i] = static_cast<uint8_t>(rng_());
        return "header " + std::to_string(len);
      }
      case Damage::kMetadata: {
        const bool krv = size >= 3 && b[0] == 'K' && b[1] == 'R' && b[2] == 'V';
        uint64_t from = 0, end = std::min<uint64_t>(size, 2048);
        if (krv && size >= 13 + 15) {
          const uint64_t n = (uint64_t{b[13 + 5]} << 16) | (uint64_t{b[13 + 6]} << 8) | b[13 + 7];
          from = 13;
          end = std::min<uint64_t>(size, 13 + 15 + n + 4);
        }
        if (end <= from) return "metadata (none)";
        const uint64_t len = 1 + Below(std::min<uint64_t>(end - from, 64));
        const uint64_t start = from + Below(end - from - len + 1);
        for (uint64_t i = start; i < start + len; ++i) b[i] = static_cast<uint8_t>(rng_());
        return "metadata " + std::to_string(len) + " at " + std::to_string(start);
      }
      case Damage::kAllZeros:
        std::fill(b.begin(), b.end(), 0);
        return "all zeros";
      case Damage::kEmpty:
        b.clear();
        return "empty";
      case Damage::kTiny: {
        const uint64_t n = 1 + Below(8);
        b.resize(std::min<uint64_t>(n, size));
        // The first bytes of the file or noise, as often as not.
        if (Below(2) == 0)
          for (auto& c : b) c = static_cast<uint8_t>(rng_());
        return "tiny " + std::to_string(b.size());
      }
      case Damage::kCount:
        break;
    }
    return "none";
  }

 private:
  std::mt19937_64 rng_;
};

}  // namespace soak
