// The fuzz target's body over generated seeds, so that the regular build runs
// it: recordings from the writer, their truncations, byte flips, and
// hand-made damage.
#include <gtest/gtest.h>

#include "krv_test_util.h"
#include "krv_writer_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

using namespace krvtest;

namespace {

TEST(FuzzSeeds, WriterRecordingItsTruncationsDamageAndHandMadeOddities) {
  std::string path = TempPath("seed.krv");
  {
    Writing w(path, RecorderStreams(), 1710491400, "SEED");
    ASSERT_EQ(w.Header(), 0);
    for (int i = 0; i < 60; ++i) ASSERT_EQ(w.Packet(i % 9, i * 50000, i % 9 == 0 && i % 18 == 0, Payload(5 + i, 1)), 0);
  }
  Bytes seed = ReadFile(path);
  std::remove(path.c_str());
  ASSERT_GT(seed.size(), 500u);
  LLVMFuzzerTestOneInput(seed.data(), seed.size());
  for (size_t cut = 0; cut < seed.size(); cut += 7) LLVMFuzzerTestOneInput(seed.data(), cut);
  LLVMFuzzerTestOneInput(nullptr, 0);

  uint32_t x = 12345;
  for (int round = 0; round < 300; ++round) {
    Bytes b = seed;
    for (int k = 0; k < 4; ++k) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      b[x % b.size()] = static_cast<uint8_t>(x >> 8);
    }
    LLVMFuzzerTestOneInput(b.data(), b.size());
  }
  // Every size and previous-size field set to its largest value in turn.
  for (size_t i = 13; i + 4 < seed.size(); i += 5) {
    Bytes b = seed;
    b[i] = b[i + 1] = b[i + 2] = 0xFF;
    LLVMFuzzerTestOneInput(b.data(), b.size());
  }

  Builder deep;
  deep.EcmaBegin().Key("x");
  for (int i = 0; i < 5000; ++i) deep.U8(10).Be32(0xFFFFFFFF);
  std::vector<Bytes> inputs = {
      FileHeader(0), FileHeader(0xFF),
      Concat({FileHeader(0x91), MetaTag(deep.bytes())}),
      Concat({FileHeader(0x91), Tag(18, 0, 0, Bytes(18, 2))}),
      Concat({FileHeader(0x91), MediaTag(9, 0, 0xFFFFFFFF, 0x10, {1}), Bytes{0, 0, 1, 0xFF}}),
      Concat({Bytes(100, 0), FileHeader(0x91)}),
      Bytes{0, 0, 1, 0xFF, 9, 0xFF, 0xFF, 0xFF},
  };
  for (const auto& in : inputs) LLVMFuzzerTestOneInput(in.data(), in.size());
}

}  // namespace
