// The vehicle fuzz target's body over generated seeds, so that the regular
// build runs it: well-formed records, every truncation, and byte damage.
#include <gtest/gtest.h>

#include <random>

#include "krv_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using krvtest::Builder;
using krvtest::Bytes;

std::vector<Bytes> Seeds() {
  std::vector<Bytes> seeds;
  Builder gps;
  gps.Str("GPS").EcmaBegin(10).NumEntry("mode", 3).NumEntry("lat", 23.1).NumEntry("lon", 113.4);
  gps.NumEntry("sat_used", 8).Key("carInfo").Str("CAR-1").End();
  seeds.push_back(gps.bytes());
  Builder g;
  g.Str("GSensor").EcmaBegin(3).NumEntry("x", 0.1).NumEntry("y", 0.2).NumEntry("z", 1.0).End();
  seeds.push_back(g.bytes());
  Builder nested;
  nested.Str("otherSensors").EcmaBegin(0).Key("o").U8(3).Key("k").U8(10).Be32(2).Num(1).U8(11);
  nested.Raw(Bytes(10, 0)).Be16(0).U8(9).Key("a").U8(8).Be32(0).NumEntry("speed", 3).End().End();
  seeds.push_back(nested.bytes());
  return seeds;
}

TEST(VehicleFuzzSeeds, RecordsTheirTruncationsAndDamage) {
  std::mt19937 rng(4242);
  for (const Bytes& seed : Seeds()) {
    for (size_t cut = 0; cut <= seed.size(); ++cut) {
      Bytes part(seed.begin(), seed.begin() + static_cast<long>(cut));
      LLVMFuzzerTestOneInput(part.data(), part.size());
    }
    for (int round = 0; round < 2000; ++round) {
      Bytes b = seed;
      int edits = 1 + static_cast<int>(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        size_t pos = rng() % b.size();
        switch (rng() % 3) {
          case 0: b[pos] = static_cast<uint8_t>(rng()); break;
          case 1: b.insert(b.begin() + static_cast<long>(pos), static_cast<uint8_t>(rng() % 14)); break;
          default: b.erase(b.begin() + static_cast<long>(pos)); break;
        }
        if (b.empty()) b.push_back(2);
      }
      LLVMFuzzerTestOneInput(b.data(), b.size());
    }
  }
  Bytes big(5000, 10);  // strict arrays all the way down, past a slot
  LLVMFuzzerTestOneInput(big.data(), big.size());
  LLVMFuzzerTestOneInput(nullptr, 0);
}

}  // namespace
