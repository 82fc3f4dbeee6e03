// The fixed queues: packet rings, the picture pool, the timestamp list and
// the data ring, and the play gates.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "media/ac_dts_list.h"
#include "media/ac_media_list.h"
#include "media/ac_movie_list.h"
#include "media/play_gates.h"

using namespace media;

namespace {

std::vector<unsigned char> payload(int n, unsigned char seed) {
  std::vector<unsigned char> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<unsigned char>(seed + i * 7);
  return v;
}

}  // namespace

// A copy would duplicate the lock and share the slots that both copies free.
static_assert(!std::is_copy_constructible_v<ACMediaList> && !std::is_copy_assignable_v<ACMediaList>);
static_assert(!std::is_copy_constructible_v<ACMovieList> && !std::is_copy_assignable_v<ACMovieList>);
static_assert(!std::is_copy_constructible_v<ACDTSList> && !std::is_copy_assignable_v<ACDTSList>);
static_assert(!std::is_copy_constructible_v<ACAMFDataList> && !std::is_copy_assignable_v<ACAMFDataList>);
static_assert(!std::is_copy_constructible_v<ACObject> && !std::is_copy_assignable_v<ACObject>);

TEST(ACMediaListTest, TwentyFirstPushIsRefusedUntilOnePop) {
  ACMediaList list;
  const auto p = payload(16, 0);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(list.PushPacket(0, i, p.data(), 16, 0, 0), 1) << i;
  EXPECT_EQ(list.Count(), 20);
  EXPECT_EQ(list.PushPacket(0, 20, p.data(), 16, 0, 0), 0);
  int64_t dts = -9;
  int len = 0;
  ASSERT_EQ(list.PopPacket(nullptr, &dts, nullptr, &len, nullptr, nullptr), 1);
  EXPECT_EQ(dts, 0);
  EXPECT_EQ(list.PushPacket(0, 20, p.data(), 16, 0, 0), 1);
  EXPECT_EQ(list.PushPacket(0, 21, p.data(), 16, 0, 0), 0);
  for (int i = 1; i <= 20; ++i) {
    ASSERT_EQ(list.PopPacket(nullptr, &dts, nullptr, &len, nullptr, nullptr), 1);
    EXPECT_EQ(dts, i);
  }
  EXPECT_EQ(list.PopPacket(nullptr, &dts, nullptr, &len, nullptr, nullptr), 0);

  // Clear on a full ring empties it and twenty pushes follow.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(list.PushPacket(0, i, p.data(), 16, 0, 0), 1);
  list.ClearPackets();
  EXPECT_EQ(list.PopPacket(nullptr, nullptr, nullptr, &len, nullptr, nullptr), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(list.PushPacket(0, i, p.data(), 16, 0, 0), 1) << i;
  EXPECT_EQ(list.PushPacket(0, 99, p.data(), 16, 0, 0), 0);
}

TEST(ACMediaListTest, OversizedPacketIsAcceptedAndNeverAppears) {
  ACMediaList list;
  std::vector<unsigned char> big(ACMediaList::kSlotCapacity + 1, 0xAB);
  EXPECT_EQ(list.PushPacket(28, 5, big.data(), static_cast<int>(big.size()), 704, 576), 1);
  EXPECT_EQ(list.PushPacket(28, 6, big.data(), -1, 704, 576), 1) << "a negative length is dropped too";
  EXPECT_EQ(list.PushPacket(28, 7, nullptr, 10, 704, 576), 1) << "a length without data is dropped";
  EXPECT_EQ(list.Count(), 0);
  int len = 0;
  EXPECT_EQ(list.PopPacket(nullptr, nullptr, nullptr, &len, nullptr, nullptr), 0);
  // Exactly a slot's size is stored.
  EXPECT_EQ(list.PushPacket(28, 8, big.data(), ACMediaList::kSlotCapacity, 704, 576), 1);
  EXPECT_EQ(list.Count(), 1);
}

TEST(ACMediaListTest, ShortDestinationGetsOnlyItsSize) {
  ACMediaList list;
  const auto p = payload(500, 9);
  ASSERT_EQ(list.PushPacket(0, 1, p.data(), 500, 0, 0), 1);
  std::vector<unsigned char> out(120 + 16, 0xEE);
  int len = 120;
  ASSERT_EQ(list.PopPacket(nullptr, nullptr, out.data(), &len, nullptr, nullptr), 1);
  EXPECT_EQ(len, 120);
  EXPECT_EQ(0, std::memcmp(out.data(), p.data(), 120));
  for (size_t i = 120; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << "written past the destination";
  // A marker carries no payload.
  ASSERT_EQ(list.PushPacket(0, DTS_SWITCH, nullptr, 0, 0, 0), 1);
  int64_t dts = 0;
  len = 64;
  ASSERT_EQ(list.PopPacket(nullptr, &dts, out.data(), &len, nullptr, nullptr), 1);
  EXPECT_EQ(dts, DTS_SWITCH);
  EXPECT_EQ(len, 0);
}

TEST(ACAMFDataListTest, FortySlotsOf256Bytes) {
  ACAMFDataList list;
  const auto p = payload(256, 4);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(list.PushPacket(i * 10, p.data(), 256), 1) << i;
  EXPECT_EQ(list.PushPacket(400, p.data(), 10), 0);
  int64_t key = 0;
  std::vector<unsigned char> out(300);
  int len = 300;
  ASSERT_EQ(list.PopPacket(&key, out.data(), &len), 1);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(len, 256);
  EXPECT_EQ(0, std::memcmp(out.data(), p.data(), 256));
  std::vector<unsigned char> big(257, 1);
  EXPECT_EQ(list.PushPacket(401, big.data(), 257), 1) << "oversized: dropped, reported as taken";
  EXPECT_EQ(list.Count(), 39);
  list.ClearPackets();
  EXPECT_EQ(list.Count(), 0);
}

TEST(ACMovieListTest, PictureIsInvisibleUntilTheProducersNextAcquire) {
  ACMovieList pool;
  ACMovieFrame* slot = nullptr;
  unsigned char* buf = nullptr;
  int32_t *hw = nullptr, *w = nullptr, *h = nullptr;
  ASSERT_EQ(pool.AcquireFrame(&slot, &buf, &hw, &w, &h), 1);
  ASSERT_NE(buf, nullptr);
  slot->dts = 40;
  *hw = 352;
  *w = 704;
  *h = 576;
  std::memset(buf, 0x5A, 16);

  int64_t dts = 0;
  unsigned char* out = nullptr;
  int32_t ohw = 0, ow = 0, oh = 0;
  EXPECT_EQ(pool.PopFrame(&dts, &out, &ohw, &ow, &oh), 0);
  ASSERT_EQ(pool.AcquireFrame(&slot, &buf, &hw, &w, &h), 1);
  ASSERT_EQ(pool.PopFrame(&dts, &out, &ohw, &ow, &oh), 1);
  EXPECT_EQ(dts, 40);
  EXPECT_EQ(ohw, 352);
  EXPECT_EQ(ow, 704);
  EXPECT_EQ(oh, 576);
  EXPECT_EQ(out[15], 0x5A);
  EXPECT_NE(out, buf) << "the producer's new slot is another buffer";
}

TEST(ACMovieListTest, AllSlotsReadyOrHeldRefuseAcquireUntilAPop) {
  ACMovieList pool;
  ACMovieFrame* slot = nullptr;
  unsigned char* buf = nullptr;
  for (int i = 0; i < 25; ++i) {
    ASSERT_EQ(pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr), 1) << i;
    slot->dts = i;
  }
  // 24 ready, one in the producer's hand.
  EXPECT_EQ(pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(buf, nullptr);
  EXPECT_EQ(pool.ReadyCount(), 25) << "the refused acquire still released the held picture";
  int64_t dts = -1;
  ASSERT_EQ(pool.PopFrame(&dts, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(dts, 0);
  EXPECT_EQ(pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr), 0) << "the consumer still holds its slot";
  ASSERT_EQ(pool.PopFrame(&dts, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(dts, 1);
  EXPECT_EQ(pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr), 1);
}

TEST(ACMovieListTest, ResetDropsReadyPicturesAndSparesTheConsumersPicture) {
  ACMovieList pool;
  ACMovieFrame* slot = nullptr;
  unsigned char* buf = nullptr;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr), 1);
    slot->dts = i;
  }
  unsigned char* shown = nullptr;
  int64_t dts = -1;
  ASSERT_EQ(pool.PopFrame(&dts, &shown, nullptr, nullptr, nullptr), 1);
  pool.ResetFrames();
  EXPECT_EQ(pool.ReadyCount(), 0);
  EXPECT_EQ(pool.FreeCount(), 24);
  // Nothing the producer gets now is the buffer the display is drawing.
  std::vector<unsigned char*> handed;
  while (pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr) == 1) handed.push_back(buf);
  EXPECT_EQ(handed.size(), 24u);
  for (unsigned char* b : handed) EXPECT_NE(b, shown);
  // An empty pop keeps the consumer's picture; the pop of a newer picture
  // gives its slot back.
  pool.ResetFrames();
  EXPECT_EQ(pool.PopFrame(&dts, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(pool.FreeCount(), 24) << "the picture the display may show again was freed";
  ASSERT_EQ(pool.AcquireFrame(&slot, &buf, nullptr, nullptr, nullptr), 1);
  slot->dts = 7;
  ASSERT_EQ(pool.AcquireFrame(nullptr, nullptr, nullptr, nullptr, nullptr), 1);  // publishes dts 7
  ASSERT_EQ(pool.PopFrame(&dts, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(dts, 7);
  EXPECT_EQ(pool.FreeCount(), 23) << "one held by the consumer, one by the producer";
}

TEST(ACDTSListTest, KeysComeOutInOrderWithMarkersAtTheEnd) {
  ACDTSList list;
  ASSERT_EQ(list.PushDTS(40, 400), 1);
  ASSERT_EQ(list.PushDTS(DTS_SWITCH, 0), 1);
  ASSERT_EQ(list.PushDTS(20, 200), 1);
  ASSERT_EQ(list.PushDTS(30, 300), 1);
  ASSERT_EQ(list.PushDTS(30, 301), 1);
  const int64_t keys[] = {20, 30, 30, 40, DTS_SWITCH};
  const int64_t values[] = {200, 300, 301, 400, 0};
  for (int i = 0; i < 5; ++i) {
    int64_t v = -7;
    EXPECT_EQ(list.PopDTS(&v), keys[i]) << i;
    EXPECT_EQ(v, values[i]) << i;
  }
  int64_t v = -7;
  EXPECT_EQ(list.PopDTS(&v), 1);
  EXPECT_EQ(v, -7) << "an empty pop leaves the value alone";
}

TEST(ACDTSListTest, KeysAfterABeginMarkerStayBehindIt) {
  ACDTSList list;
  list.PushDTS(5000, 1);
  list.PushDTS(5040, 1);
  list.PushDTS(DTS_BEGIN, 2);
  list.PushDTS(40, 2);
  list.PushDTS(0, 2);   // smaller than everything before the marker
  list.PushDTS(80, 2);
  list.PushDTS(DTS_END, 2);
  // The walk from the marker passes any later marker (their keys are
  // negative): a key pushed after -3 comes out after it.
  list.PushDTS(120, 2);
  const int64_t expected[] = {5000, 5040, DTS_BEGIN, 0, 40, 80, DTS_END, 120};
  for (int64_t k : expected) EXPECT_EQ(list.PopDTS(nullptr), k);
  EXPECT_EQ(list.Count(), 0);
}

TEST(ACDTSListTest, Push201IsRefusedClearEmptiesAndFoundTellsKeyOneFromEmpty) {
  ACDTSList list;
  for (int i = 0; i < 200; ++i) ASSERT_EQ(list.PushDTS(i * 40, 0), 1) << i;
  EXPECT_EQ(list.PushDTS(99999, 0), 0);
  EXPECT_EQ(list.PopDTS(nullptr), 0);
  EXPECT_EQ(list.PushDTS(99999, 0), 1);
  list.ClearDTS();
  bool found = true;
  int64_t v = 0;
  EXPECT_EQ(list.PopDTS(&v, &found), ACDTSList::kEmptyKey);
  EXPECT_FALSE(found);
  // The found flag tells a real key of 1 from the empty list's.
  list.PushDTS(1, 77);
  EXPECT_EQ(list.PopDTS(&v, &found), 1);
  EXPECT_TRUE(found);
  EXPECT_EQ(v, 77);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(list.PushDTS(i, 0), 1);
}

TEST(PlayGateTest, PushesAreDroppedAndAcceptedWhileBothGatesAreShut) {
  PlayGates gates;
  ACMediaList list;
  auto push = [&] { return list.PushPacket(28, 0, nullptr, 0, 0, 0); };
  EXPECT_FALSE(gates.Open());
  for (int i = 0; i < 30; ++i) EXPECT_EQ(GatedPush(&gates, push), 1);
  EXPECT_EQ(list.Count(), 0);

  gates.krv.Set();
  EXPECT_TRUE(gates.Open());
  for (int i = 0; i < 20; ++i) EXPECT_EQ(GatedPush(&gates, push), 1);
  EXPECT_EQ(GatedPush(&gates, push), 0) << "a full ring is reported as full once the gate is open";
  EXPECT_TRUE(gates.krv.IsSet()) << "testing the gate does not consume it";

  gates.krv.Reset();
  gates.avi.Set();
  list.ClearPackets();
  EXPECT_EQ(GatedPush(&gates, push), 1);
  EXPECT_EQ(list.Count(), 1);
  gates.ResetBoth();
  EXPECT_FALSE(gates.Open());
  EXPECT_EQ(GatedPush(nullptr, push), 1) << "without gates a push is never gated";
  EXPECT_EQ(list.Count(), 2);
}
