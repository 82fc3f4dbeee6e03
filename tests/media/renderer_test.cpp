// The renderers behind ImplACVirtualMovie (null and software RGB) and the
// picture conversions of the display path.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "media/impl_ac_virtual_movie.h"
#include "media/vo_null.h"
#include "media/vo_soft.h"
#include "media/yuv_convert.h"

using namespace media;

namespace {

std::vector<unsigned char> yuy2Of(int width, int height, unsigned char y, unsigned char u, unsigned char v) {
  std::vector<unsigned char> p(static_cast<size_t>(width) * height * 2);
  for (size_t i = 0; i < p.size(); i += 4) {
    p[i] = y;
    p[i + 1] = u;
    p[i + 2] = y;
    p[i + 3] = v;
  }
  return p;
}

}  // namespace

TEST(YuvConvert, PlanarToYUY2RepeatsTheChromaAndBackAveragesIt) {
  const int w = 4, h = 4;
  // Y 0..15, U 100..103, V 200..203.
  std::vector<unsigned char> planar(w * h * 3 / 2);
  for (int i = 0; i < 16; ++i) planar[i] = static_cast<unsigned char>(i);
  for (int i = 0; i < 4; ++i) planar[16 + i] = static_cast<unsigned char>(100 + i);
  for (int i = 0; i < 4; ++i) planar[20 + i] = static_cast<unsigned char>(200 + i);
  std::vector<unsigned char> yuy2(w * h * 2);
  acPlanarToYUY2(planar.data(), yuy2.data(), w, h);
  const std::vector<unsigned char> want = {
      0,  100, 1,  200, 2,  101, 3,  201,  // row 0: chroma row 0
      4,  100, 5,  200, 6,  101, 7,  201,  // row 1: the same chroma
      8,  102, 9,  202, 10, 103, 11, 203,  // row 2: chroma row 1
      12, 102, 13, 202, 14, 103, 15, 203,
  };
  EXPECT_EQ(yuy2, want);
  // Back to planar, the chroma of each row pair is averaged.
  const std::vector<unsigned char> pair = {10, 100, 11, 200, 12, 103, 13, 207};
  std::vector<unsigned char> back(2 * 2 * 3 / 2);
  acYUY2ToPlanar(pair.data(), back.data(), 2, 2);
  EXPECT_EQ(back, (std::vector<unsigned char>{10, 11, 12, 13, 101, 203}));
}

TEST(YuvConvert, PlanarToYUY2MatchesTheRuleAtEverySizeAndAlignment) {
  // Widths whose rows are and are not whole 16-byte blocks, with tails past
  // the last block of eight chroma samples; the output at a 16-byte
  // boundary and off it.
  std::mt19937 rng(11);
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{16, 2}, {704, 576}, {706, 4}, {34, 6}, {2, 2}}) {
    std::vector<unsigned char> planar(static_cast<size_t>(w) * h * 3 / 2);
    for (auto& b : planar) b = static_cast<unsigned char>(rng());
    const unsigned char* y = planar.data();
    const unsigned char* u = y + w * h;
    const unsigned char* v = u + (w / 2) * (h / 2);
    for (const size_t offset : {size_t{0}, size_t{2}}) {
      std::vector<unsigned char> storage(static_cast<size_t>(w) * h * 2 + 32);
      unsigned char* out = storage.data() + ((16 - reinterpret_cast<uintptr_t>(storage.data()) % 16) % 16) + offset;
      acPlanarToYUY2(planar.data(), out, w, h);
      int wrong = 0;
      for (int row = 0; row < h; ++row)
        for (int k = 0; k < w / 2; ++k) {
          const unsigned char* o = out + (static_cast<size_t>(row) * w + 2 * k) * 2;
          const int c = (row / 2) * (w / 2) + k;
          if (o[0] != y[row * w + 2 * k] || o[1] != u[c] || o[2] != y[row * w + 2 * k + 1] || o[3] != v[c]) ++wrong;
        }
      EXPECT_EQ(wrong, 0) << w << "x" << h << " offset " << offset;
    }
  }
}

TEST(NullRenderer, CountsAndChecksumsWhatItIsGiven) {
  VoNullStats stats;
  stats.keepChecksums.store(true);
  ImplACVirtualMovie* r = CreateRenderer(&stats);  // no factory installed: the null backend
  ASSERT_NE(dynamic_cast<VoNull*>(r), nullptr);
  ASSERT_EQ(r->Init(&stats), 1);
  EXPECT_EQ(r->Init(&stats), 0) << "already initialised";
  EXPECT_EQ(r->GetFormatCode(), ImplACVirtualMovie::kFormatYUY2);
  const auto a = yuy2Of(64, 32, 16, 128, 128);
  const auto b = yuy2Of(64, 32, 235, 128, 128);
  EXPECT_EQ(r->Draw(a.data(), 64, 32), 1);
  const uint32_t adlerA = stats.lastAdler.load();
  EXPECT_EQ(r->DrawPicture(b.data(), 64, 32), 1);
  EXPECT_NE(stats.lastAdler.load(), adlerA);
  EXPECT_EQ(stats.frames.load(), 2);
  EXPECT_EQ(stats.lastWidth.load(), 64);
  EXPECT_EQ(r->Draw(nullptr, 64, 32), 0);
  EXPECT_EQ(r->Draw(a.data(), 0, 32), 0);
  EXPECT_EQ(r->Draw(a.data(), 4096, 4096), 0) << "larger than any picture buffer";
  EXPECT_EQ(stats.frames.load(), 2);
  // The same pictures give the same checksum.
  VoNullStats again;
  again.keepChecksums.store(true);
  ImplACVirtualMovie* r2 = CreateRenderer(&again);
  r2->Init(&again);
  r2->Draw(a.data(), 64, 32);
  r2->Draw(b.data(), 64, 32);
  EXPECT_EQ(again.checksum.load(), stats.checksum.load());
  // Nobody asked for checksums: the pictures are counted, not read.
  VoNullStats unasked;
  std::unique_ptr<ImplACVirtualMovie> r3(CreateRenderer(&unasked));
  r3->Init(&unasked);
  EXPECT_EQ(r3->Draw(a.data(), 64, 32), 1);
  EXPECT_EQ(unasked.frames.load(), 1);
  EXPECT_EQ(unasked.lastWidth.load(), 64);
  EXPECT_EQ(unasked.lastAdler.load(), 0u);
  EXPECT_EQ(unasked.checksum.load(), 0u);
  r->Close();
  EXPECT_EQ(r->Draw(a.data(), 64, 32), 0) << "closed";
  delete r;
  delete r2;
}

// A picture shown again unchanged is drawn only when the surfaces may no
// longer hold it: another picture drawn since, a new size, a new window size.
TEST(NullRenderer, DrawAgainDrawsOnlyWhatTheSurfacesDoNotHold) {
  VoNullStats stats;
  std::unique_ptr<ImplACVirtualMovie> r(CreateRenderer(&stats));
  ASSERT_EQ(r->Init(&stats), 1);
  const auto a = yuy2Of(64, 32, 16, 128, 128);
  const auto b = yuy2Of(64, 32, 235, 128, 128);
  EXPECT_EQ(r->DrawAgain(a.data(), 64, 32), 1);
  EXPECT_EQ(stats.frames.load(), 1) << "never drawn: drawn";
  EXPECT_EQ(r->DrawAgain(a.data(), 64, 32), 1);
  EXPECT_EQ(stats.frames.load(), 1) << "held: not drawn";
  EXPECT_EQ(r->Draw(b.data(), 64, 32), 1);
  EXPECT_EQ(r->DrawAgain(a.data(), 64, 32), 1);
  EXPECT_EQ(stats.frames.load(), 3) << "another picture drawn since";
  EXPECT_EQ(r->DrawAgain(a.data(), 32, 32), 1);
  EXPECT_EQ(stats.frames.load(), 4) << "another size";
  stats.clientWidth.store(640);
  EXPECT_EQ(r->DrawAgain(a.data(), 32, 32), 1);
  EXPECT_EQ(stats.frames.load(), 5) << "the window was resized";
  EXPECT_EQ(r->DrawAgain(a.data(), 32, 32), 1);
  EXPECT_EQ(stats.frames.load(), 5);
  r->Close();
  EXPECT_EQ(r->DrawAgain(a.data(), 32, 32), 0) << "closed: drawn, and fails";
}

TEST(SoftRenderer, ConvertsYUY2ToRGB32ScaledIntoTheImageAndRefusesWhatItCannotDrawInto) {
  VoSoftTarget target;
  std::vector<unsigned char> pixels(100 * 50 * 4, 0x11);
  target.pixels = pixels.data();
  target.width = 100;
  target.height = 50;
  target.stride = 100 * 4;
  int updates = 0;
  target.updated = [&] { ++updates; };
  std::unique_ptr<ImplACVirtualMovie> r(CreateSoftRenderer(&target));
  ASSERT_EQ(r->Init(&target), 1);
  struct Case {
    unsigned char y, u, v;
    int b, g, r;
  };
  // Limited-range BT.601: white, black, and red (Y 81, U 90, V 240).
  for (const Case& c : {Case{235, 128, 128, 255, 255, 255}, Case{16, 128, 128, 0, 0, 0},
                        Case{81, 90, 240, 0, 0, 255}}) {
    const auto picture = yuy2Of(32, 16, c.y, c.u, c.v);
    ASSERT_EQ(r->Draw(picture.data(), 32, 16), 1);
    for (int at : {0, 49 * 400 + 99 * 4, 25 * 400 + 50 * 4}) {
      EXPECT_NEAR(pixels[at], c.b, 3) << int(c.y);
      EXPECT_NEAR(pixels[at + 1], c.g, 3) << int(c.y);
      EXPECT_NEAR(pixels[at + 2], c.r, 3) << int(c.y);
      EXPECT_EQ(pixels[at + 3], 0xFF);
    }
  }
  EXPECT_EQ(updates, 3);
  EXPECT_EQ(target.frames.load(), 3);

  // A new image size: the next repaint scales the last picture into it.
  std::vector<unsigned char> larger(200 * 120 * 4, 0);
  {
    std::lock_guard<std::mutex> lock(target.mutex);
    target.pixels = larger.data();
    target.width = 200;
    target.height = 120;
    target.stride = 200 * 4;
  }
  ASSERT_EQ(r->Repaint(), 1);
  EXPECT_NEAR(larger[(119 * 200 + 199) * 4 + 2], 255, 3);
  EXPECT_NEAR(larger[(119 * 200 + 199) * 4 + 1], 0, 3);

  // The RGB surface mode reads exactly the picture's bytes (ASan reports any
  // read beyond them).
  VoSoftTarget square;
  std::vector<unsigned char> squarePixels(64 * 64 * 4);
  square.pixels = squarePixels.data();
  square.width = square.height = 64;
  square.stride = 64 * 4;
  std::unique_ptr<ImplACVirtualMovie> rgbRenderer(CreateSoftRenderer(&square));
  ASSERT_EQ(rgbRenderer->Init(&square), 1);
  ASSERT_EQ(rgbRenderer->SetSurfaceMode(ImplACVirtualMovie::kModeRGB), 1);
  EXPECT_EQ(rgbRenderer->GetFormatCode(), ImplACVirtualMovie::kFormatRGB32);
  std::vector<unsigned char> rgb(32 * 32 * 2, 0x40);
  EXPECT_EQ(rgbRenderer->Draw(rgb.data(), 32, 32), 1);

  // What it cannot draw into is refused.
  std::unique_ptr<ImplACVirtualMovie> none(CreateSoftRenderer(nullptr));
  EXPECT_EQ(none->Init(nullptr), 0);
  VoSoftTarget empty;  // no image yet
  std::unique_ptr<ImplACVirtualMovie> r2(CreateSoftRenderer(&empty));
  ASSERT_EQ(r2->Init(&empty), 1);
  const auto picture = yuy2Of(16, 16, 235, 128, 128);
  EXPECT_EQ(r2->Draw(picture.data(), 16, 16), 0) << "no client size";
  std::vector<unsigned char> small(8 * 8 * 4);
  {
    std::lock_guard<std::mutex> lock(empty.mutex);
    empty.pixels = small.data();
    empty.width = 8;
    empty.height = 8;
    empty.stride = 8;  // shorter than a row
  }
  EXPECT_EQ(r2->Draw(picture.data(), 16, 16), 0) << "stride shorter than a row";
  EXPECT_EQ(empty.frames.load(), 0);
}
