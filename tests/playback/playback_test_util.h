// Recordings for the playback tests (made by the synthesiser with real
// H.264, sound and vehicle records) and what the container says they hold.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "krv_test_util.h"
#include "synth/synth.h"

namespace playtest {

namespace fs = std::filesystem;

// A folder of this test process, removed at the end.
class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("corvane-playtest-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(counter()++));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& Path() const { return path_; }

 private:
  static int& counter() {
    static int c = 0;
    return c;
  }
  fs::path path_;
};

inline krvsynth::SynthOptions Small(int seconds, int channels = 4, int width = 176, int height = 144) {
  krvsynth::SynthOptions o;
  o.seconds = seconds;
  o.channels = channels;
  o.width = width;
  o.height = height;
  o.fps = 25;
  o.gop = 25;
  return o;
}

inline void MakeKrv(const krvsynth::SynthOptions& o, const std::string& path) {
  std::string error;
  ASSERT_TRUE(krvsynth::WriteKrv(o, path, &error)) << error;
}

inline void MakeAvi(const krvsynth::SynthOptions& o, int channel, const std::string& path) {
  std::string error;
  ASSERT_TRUE(krvsynth::WriteAviChannel(o, channel, path, &error)) << error;
}

// One packet as the container reads it.
struct Packet {
  int id = 0;
  int kind = 0;
  int64_t dts = 0;  // microseconds
  bool key = false;
  krvtest::Bytes data;
};

// Every packet of a recording, in file order.
inline std::vector<Packet> ReadAll(const std::string& path) {
  krvtest::Reading r(path);
  std::vector<Packet> out;
  krvtest::Pkt p;
  while (r.Next(&p)) {
    Packet q;
    q.id = p.id;
    q.dts = p.dts;
    q.key = p.key;
    q.data = p.data;
    q.kind = -1;
    for (auto* st : r.ctx->streams)
      if (st && st->index == p.id) q.kind = st->kind;
    out.push_back(q);
  }
  return out;
}

// Video packets per channel (stream identifiers 0-3), optionally key frames only.
inline std::map<int, std::vector<int64_t>> VideoTimesMs(const std::vector<Packet>& all, bool keyOnly) {
  std::map<int, std::vector<int64_t>> out;
  for (const Packet& p : all)
    if (p.kind == krv::KIND_VIDEO && p.id >= 0 && p.id < 4 && (!keyOnly || p.key)) out[p.id].push_back(p.dts / 1000);
  return out;
}

}  // namespace playtest
