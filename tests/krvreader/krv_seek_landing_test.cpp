// Where the two key-frame seeks land, against a plain reference walk over the
// file's bytes in memory: many targets on recordings with four channels,
// uneven bitrates, damaged stretches and truncation. The reference is the
// recorder's rule written as simply as possible (one byte at a time, no
// buffering); the reader must land exactly where it does, whatever it reads
// to get there.
#include <gtest/gtest.h>

#include <random>

#include "krv_test_util.h"
#include "krv_writer_util.h"

using namespace krv;
using namespace krvtest;

namespace {

// ---- The reference walk ----------------------------------------------------------

// The file's bytes as the byte reader gives them: 0 past the end, with a flag.
class Cursor {
 public:
  explicit Cursor(const Bytes& f) : f_(f) {}
  int Byte() {
    if (pos_ < 0 || pos_ >= static_cast<int64_t>(f_.size())) {
      eof_ = true;
      ++pos_;
      return 0;
    }
    return f_[static_cast<size_t>(pos_++)];
  }
  uint32_t Be(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | static_cast<uint32_t>(Byte());
    return v;
  }
  void Seek(int64_t p) {
    pos_ = p;
    eof_ = false;
  }
  void Skip(int64_t n) { Seek(pos_ + n); }
  int64_t Pos() const { return pos_; }
  bool Eof() const { return eof_; }

 private:
  const Bytes& f_;
  int64_t pos_ = 0;
  bool eof_ = false;
};

bool IsType(int t) { return t == 8 || t == 9 || t == 18 || t == 22; }

// Start code or re-synchronisation (over the four bytes read too), then the type.
bool TagStart(Cursor& c, int* type) {
  uint32_t w = c.Be(4);
  if (w == 511) {
    *type = c.Byte();
    return !c.Eof();
  }
  if (c.Eof()) return false;
  for (;;) {
    int b = c.Byte();
    if (c.Eof()) return false;
    if (w == 511 && IsType(b)) {
      *type = b;
      return true;
    }
    w = w << 8 | static_cast<uint32_t>(b);
  }
}

struct Landing {
  bool found;
  int64_t pos;
  bool operator==(const Landing& o) const { return found == o.found && pos == o.pos; }
};

std::ostream& operator<<(std::ostream& os, const Landing& l) {
  return os << (l.found ? "found at " : "not found, at ") << l.pos;
}

// From the tag at `from`: forward through the target's second when that tag
// is before it, else backward through the previous-tag-size chain; the last
// key frame (flags exactly 0x10) not after the target's second, or `start`.
Landing WalkFrom(const Bytes& f, int64_t from, int64_t target, int64_t start) {
  const int64_t sec = target / 1000000;
  Cursor c(f);
  c.Seek(from);
  bool found = false;
  int64_t key = 0;
  int type = 0;
  if (TagStart(c, &type) && IsType(type)) {
    uint32_t size = c.Be(3);
    uint32_t ts = c.Be(3) | c.Be(1) << 24;
    if (!c.Eof()) {
      c.Skip(static_cast<int64_t>(size) + 3);
      if (ts / 1000000 < sec) {
        for (;;) {
          c.Skip(4);
          if (!TagStart(c, &type) || !IsType(type)) break;
          size = c.Be(3);
          ts = c.Be(3) | c.Be(1) << 24;
          if (c.Eof()) break;
          c.Be(3);
          if (size == 0) continue;
          if (ts / 1000000 > sec) break;
          int64_t rest = size;
          if (type == 9) {
            --rest;
            if (c.Byte() == 0x10) {
              found = true;
              key = c.Pos() - 20;
            }
          }
          c.Skip(rest);
        }
      } else {
        int64_t p = c.Pos();
        uint32_t prev = c.Be(4);
        while (prev != 0) {
          int64_t q = p - prev - 4;
          if (q <= 0) break;
          c.Seek(q);
          uint32_t before = c.Be(4);
          if (!TagStart(c, &type)) break;
          size = c.Be(3);
          if (prev == size + 15) {
            ts = c.Be(3) | c.Be(1) << 24;
            c.Be(3);
            if (type == 9 && c.Byte() == 0x10 && ts / 1000000 <= static_cast<uint32_t>(sec)) {
              found = true;
              key = c.Pos() - 20;
              break;
            }
          }
          prev = before;
          p = q;
        }
      }
    }
  }
  return {found, found ? key : start};
}

Landing ReferenceEstimate(const Bytes& f, int64_t start, int64_t target, int64_t fileSize, int64_t duration) {
  if (target == 0) return {true, 0};
  if (target < 0) return {false, start};
  int64_t from = start + 4;
  if (fileSize <= 0) fileSize = static_cast<int64_t>(f.size());
  if (fileSize > 0 && duration > target) from = fileSize * (target / 1000000) / duration * 1000000;
  return WalkFrom(f, from, target, start);
}

// ---- Recordings ------------------------------------------------------------------------

struct Shape {
  int seconds;
  int gop;           // frames between key frames
  bool staggered;    // channels' key frames at different frames
  unsigned seed;
};

// Four video channels at 25 frames a second whose picture sizes swing from
// second to second (a still scene, then movement), four sound channels and
// the vehicle data, interleaved by time as the recorder writes them.
Bytes MakeRecording(const Shape& s) {
  const std::string path = TempPath("landing-src.krv");
  std::mt19937 rng(s.seed);
  {
    Writing w(path, RecorderStreams());
    EXPECT_EQ(w.Header(), 0);
    double scale = 1.0;
    for (int frame = 0; frame < s.seconds * 25; ++frame) {
      const int64_t t = frame * 40000LL;
      if (frame % 25 == 0) {
        scale = std::uniform_real_distribution<double>(0.1, 4.0)(rng);
        EXPECT_EQ(w.Packet(8, t, false, Payload(54, static_cast<uint8_t>(frame)), 1000000), 0);
      }
      if (frame % 8 == 0) {
        for (int a = 4; a < 8; ++a) {
          EXPECT_EQ(w.Packet(a, t + 3000, true, Payload(2036, static_cast<uint8_t>(a)), 256000), 0);
        }
      }
      for (int ch = 0; ch < 4; ++ch) {
        const bool key = (frame + (s.staggered ? ch * 7 : 0)) % s.gop == 0;
        const int base = std::uniform_int_distribution<int>(300, 5000)(rng);
        const size_t size = static_cast<size_t>(base * scale * (key ? 6 : 1)) + 1;
        EXPECT_EQ(w.Packet(ch, t + ch * 10, key, Payload(size, static_cast<uint8_t>(frame + ch)), 40000), 0);
      }
    }
  }
  Bytes b = ReadFile(path);
  std::remove(path.c_str());
  return b;
}

// Offsets of the tags' start codes, walking the chain of a healthy file.
std::vector<size_t> TagStarts(const Bytes& f) {
  std::vector<size_t> v;
  size_t p = 13;
  while (p + 15 <= f.size()) {
    size_t n = static_cast<size_t>(f[p + 5]) << 16 | static_cast<size_t>(f[p + 6]) << 8 | f[p + 7];
    v.push_back(p);
    p += 15 + n + 4;
  }
  return v;
}

// Damage of the kinds recorders leave: garbage between tags (with start
// codes followed by a byte that is no tag type), zeroed stretches over tags,
// a tag's header overwritten, and a file cut in the middle of a tag.
Bytes Damage(const Bytes& f, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> starts = TagStarts(f);
  Bytes out = f;
  // Zeroed stretches and a broken header, back to front so offsets hold.
  for (int i = 0; i < 6; ++i) {
    size_t at = starts[std::uniform_int_distribution<size_t>(10, starts.size() - 10)(rng)];
    size_t len = std::uniform_int_distribution<size_t>(100, 700000)(rng);
    if (i % 3 == 0) {
      out[at + 1] ^= 0x40;  // start code broken
      out[at + 9] ^= 0x77;
    } else {
      std::fill(out.begin() + static_cast<std::ptrdiff_t>(at),
                out.begin() + static_cast<std::ptrdiff_t>(std::min(out.size(), at + len)), 0);
    }
  }
  std::vector<size_t> cuts;
  for (int i = 0; i < 8; ++i) cuts.push_back(starts[std::uniform_int_distribution<size_t>(5, starts.size() - 5)(rng)]);
  std::sort(cuts.rbegin(), cuts.rend());
  for (size_t at : cuts) {
    Bytes g(std::uniform_int_distribution<size_t>(1, 70000)(rng));
    for (auto& b : g) b = static_cast<uint8_t>(rng());
    for (size_t k = 0; k + 5 < g.size(); k += 997) {
      g[k] = 0, g[k + 1] = 0, g[k + 2] = 1, g[k + 3] = 0xFF, g[k + 4] = 0x42;
    }
    for (size_t k = 0; k + 4 < g.size(); ++k)  // no real tag start inside
      if (g[k] == 0 && g[k + 1] == 0 && g[k + 2] == 1 && g[k + 3] == 0xFF && IsType(g[k + 4])) g[k + 4] = 0x42;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), g.begin(), g.end());
  }
  out.resize(out.size() - std::uniform_int_distribution<size_t>(1, 30000)(rng));
  return out;
}

// Every target from before the start to past the end (whole seconds, the
// ends of seconds and points between), seeking from where the previous seek
// and one packet left the reader, with the metadata's file size and with the
// byte reader's; the exact seek from the same place too.
void CompareAll(const Bytes& f, const char* what) {
  const std::string path = TempPath("landing.krv");
  WriteFile(path, f);
  Reading r(path);
  ASSERT_TRUE(r.opened);
  Pkt p;
  ASSERT_TRUE(r.Next(&p));
  const int64_t duration = r.ctx->duration;
  ASSERT_GT(duration, 0);
  int mismatches = 0;
  for (int64_t target = -1; target < duration + 3000000 && mismatches < 5; target += 333333) {
    for (int64_t fileSize : {r.ctx->file_size, int64_t{0}}) {
      const int64_t start = url_ftell(r.ctx->pb);
      const Landing want = ReferenceEstimate(f, start, target, fileSize, duration);
      const bool found = krv_seek_keyframe_estimate(r.ctx, target, fileSize, duration);
      const Landing got{found, url_ftell(r.ctx->pb)};
      if (!(got == want)) ++mismatches;
      EXPECT_EQ(got, want) << what << ": estimated seek to " << target << " us from " << start << ", file size "
                           << fileSize;
      r.Next(&p);
    }
    const int64_t start = url_ftell(r.ctx->pb);
    const Landing want = WalkFrom(f, start + 4, target, start);
    if (target < 0) continue;
    const bool found = krv_seek_keyframe(r.ctx, target);
    const Landing got{found, url_ftell(r.ctx->pb)};
    if (!(got == want)) ++mismatches;
    EXPECT_EQ(got, want) << what << ": exact seek to " << target << " us from " << start;
    r.Next(&p);
  }
  std::remove(path.c_str());
}

TEST(KrvSeekLanding, EstimatedAndExactSeeksLandWhereTheReferenceWalkDoes) {
  const Shape shapes[] = {
      {40, 25, false, 1},  // a key frame on every channel each second
      {40, 50, true, 2},   // every two seconds, channels apart
      {30, 90, false, 3},  // longer than three seconds between key frames
      {25, 10, true, 4},
  };
  for (const Shape& s : shapes) {
    const Bytes f = MakeRecording(s);
    ASSERT_GT(f.size(), 4000000u);
    CompareAll(f, "healthy");
    CompareAll(Damage(f, s.seed * 31 + 7), "damaged");
  }
}

}  // namespace
