// soak_damage --good DIR: writes the good recordings of the soak into DIR
// (small and short: KRV with ADPCM and with HiSilicon voice sound, one
// without vehicle records, and two AVI channel files of one period) and
// prints their paths.
// soak_damage OUT_DIR COUNT SEED GOOD_FILE...: writes COUNT damaged copies
// of the good recordings into OUT_DIR, one folder each (NNNNN/), under the
// good file's own name so that the catalogue lists them as the recorder's.
// The damage kinds take turns; the rest is drawn from SEED. Prints one line
// per file: path, kind, what was done (tab-separated).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "damage.h"
#include "synth/synth.h"

namespace {

int WriteGood(const std::string& dir) {
  std::filesystem::create_directories(dir);
  struct Good {
    const char* name;
    krvsynth::AudioKind audio;
    bool data;
    int channels;
    int avi;  // -1 KRV, else the AVI channel
  };
  const Good goods[] = {
      {"20240501080000_1000.krv", krvsynth::AudioKind::kAdpcm, true, 4, -1},
      {"20240501090000_0100.krv", krvsynth::AudioKind::kHisi, true, 2, -1},
      {"20240501100000_0010.krv", krvsynth::AudioKind::kAdpcm, false, 1, -1},
      {"20240501110000_0001_01.avi", krvsynth::AudioKind::kAdpcm, true, 4, 0},
      {"20240501110000_0001_02.avi", krvsynth::AudioKind::kAdpcm, true, 4, 1},
  };
  uint32_t seed = 1;
  for (const Good& g : goods) {
    krvsynth::SynthOptions o;
    o.seconds = 3;
    o.startTime = krvsynth::ParseStartTime(std::string(g.name).substr(0, 14));
    o.width = 176;
    o.height = 144;
    o.fps = 10;
    o.gop = 10;
    o.channels = g.channels;
    o.audio = g.audio;
    o.data = g.data;
    o.seed = seed++;
    const std::string path = dir + "/" + g.name;
    std::string error;
    const bool ok = g.avi < 0 ? krvsynth::WriteKrv(o, path, &error) : krvsynth::WriteAviChannel(o, g.avi, path, &error);
    if (!ok) {
      std::fprintf(stderr, "soak_damage: %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--good") return WriteGood(argv[2]);
  if (argc < 5) {
    std::fprintf(stderr, "usage: soak_damage --good DIR | OUT_DIR COUNT SEED GOOD_FILE...\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path out = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  const uint64_t seed = std::strtoull(argv[3], nullptr, 10);
  std::vector<fs::path> goods(argv + 4, argv + argc);
  std::vector<std::vector<uint8_t>> bytes;
  for (const fs::path& g : goods) {
    std::ifstream in(g, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "soak_damage: cannot read %s\n", g.c_str());
      return 1;
    }
    bytes.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  soak::Damager damager(seed);
  const int kinds = static_cast<int>(soak::Damage::kCount);
  for (long i = 0; i < count; ++i) {
    const auto kind = static_cast<soak::Damage>(i % kinds);
    const size_t which = damager.Below(goods.size());
    std::vector<uint8_t> b = bytes[which];
    const std::string what = damager.Apply(kind, b);
    char folder[24];
    std::snprintf(folder, sizeof folder, "%05ld", i);
    const fs::path dir = out / folder;
    fs::create_directories(dir);
    const fs::path path = dir / goods[which].filename();
    std::ofstream o(path, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!o) {
      std::fprintf(stderr, "soak_damage: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s\t%s\t%s\n", path.c_str(), soak::DamageName(kind), what.c_str());
  }
  return 0;
}
