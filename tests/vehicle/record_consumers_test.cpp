// The queue consumers on their own threads, fed by a producer thread as the
// reader feeds them: order, control records, chart resets, and stopping.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "krv_test_util.h"
#include "media/ac_media_list.h"
#include "vehicle/record_consumers.h"
#include "vehicle/record_delivery.h"

namespace {

using krvtest::Builder;
using krvtest::Bytes;
using vehicle::SeenRecord;

Bytes Gps(double lat, double mode = 3) {
  Builder b;
  b.Str("GPS").EcmaBegin(0).NumEntry("mode", mode).NumEntry("lat", lat).NumEntry("lon", 113.3);
  b.NumEntry("sat_used", 8).End();
  return b.bytes();
}

Bytes GSensor(double x) {
  Builder b;
  b.Str("GSensor").EcmaBegin(3).NumEntry("x", x).NumEntry("y", 0).NumEntry("z", 1).End();
  return b.bytes();
}

Bytes Other(double t) {
  Builder b;
  b.Str("otherSensors").EcmaBegin(2).NumEntry("temperature", t).NumEntry("speed", 50).End();
  return b.bytes();
}

// Puts a record, retrying while the queue is full (the test wants them all).
void Put(media::ACAMFDataList& q, int64_t ms, const Bytes& b) {
  while (!vehicle::PutRecord(&q, ms, b.data(), static_cast<int>(b.size())))
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

template <typename Pred>
bool WaitFor(Pred p, int ms = 5000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!p()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(RecordConsumers, TheMapSeesGpsInOrderAndSeekClearsItsTracks) {
  media::ACAMFDataList q;
  vehicle::MapRecordConsumer map(&q);
  ASSERT_TRUE(map.Start());
  std::thread producer([&] {
    for (int i = 0; i < 200; ++i) {
      Put(q, i * 1000, Gps(23.0 + i * 0.001, i % 10 == 9 ? 1.0 : 3.0));
      // The reset is put once, as a seek puts it: into a queue with room
      // (a busy machine may not have let the consumer catch up yet).
      if (i == 100) {
        ASSERT_TRUE(WaitFor([&] { return map.Counts().records == 101; }));
        vehicle::RecordDelivery::QueueReset(&q, nullptr);
      }
    }
    Builder broken;
    broken.Str("GPS").EcmaBegin(0).NumEntry("lat", 1.0).Be16(300);
    Put(q, 999999, broken.bytes());
  });
  producer.join();
  ASSERT_TRUE(WaitFor([&] { return map.Counts().records == 202; }));
  map.Stop();
  auto c = map.Counts();
  EXPECT_EQ(c.gps, 200);
  EXPECT_EQ(c.seek, 1);
  EXPECT_EQ(c.resets, 1);
  EXPECT_EQ(c.broken, 1);
  EXPECT_EQ(c.drawn, 180);  // every tenth had mode 1
  auto seen = map.Seen();
  ASSERT_EQ(seen.size(), 202u);
  int64_t last = -1;
  for (const SeenRecord& r : seen) {
    if (r.kind != SeenRecord::kGps) continue;
    EXPECT_GT(r.timeMs, last);
    last = r.timeMs;
  }
  EXPECT_EQ(seen[101].kind, SeenRecord::kSeek);
  EXPECT_EQ(seen[201].kind, SeenRecord::kBroken);
  EXPECT_DOUBLE_EQ(map.Gps().lat, 1.0);  // stored before the error
  EXPECT_DOUBLE_EQ(map.Gps().lastDrawnLat, 23.0 + 198 * 0.001);
}

TEST(RecordConsumers, TheChartMakesOneSampleOfAllFiveValuesPerRecord) {
  media::ACAMFDataList q;
  vehicle::ChartRecordConsumer chart(&q);
  ASSERT_TRUE(chart.Start());
  const int64_t base = 1700000000LL * 1000;
  Put(q, base + 0, GSensor(0.5));
  Put(q, base + 0, Other(30.0));
  Put(q, base + 100, GSensor(-0.25));
  Put(q, 0, Bytes{'C', 'l', 'e', 'a', 'r', 0});
  Put(q, base + 50, GSensor(0.125));  // earlier than the last sample: chart reset
  ASSERT_TRUE(WaitFor([&] { return chart.Counts().records == 5; }));
  chart.Stop();
  auto c = chart.Counts();
  EXPECT_EQ(c.gSensor, 3);
  EXPECT_EQ(c.otherSensors, 1);
  EXPECT_EQ(c.clear, 1);
  EXPECT_EQ(c.drawn, 4);
  auto seen = chart.Seen();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[1].kind, SeenRecord::kOtherSensors);
  EXPECT_DOUBLE_EQ(seen[1].values[0], 0.5);   // x of the G-sensor before
  EXPECT_DOUBLE_EQ(seen[1].values[3], 30.0);  // its own temperature
  EXPECT_DOUBLE_EQ(seen[2].values[3], 30.0);  // kept by the next G-sensor sample
  EXPECT_EQ(seen[3].kind, SeenRecord::kClear);
  // "Clear" itself, then the sample that went back in time.
  EXPECT_EQ(c.resets, 2);
}

TEST(RecordConsumers, WithoutALogEveryRecordIsCountedAndTheLastKept) {
  // The player's consumers keep no log by default: a long session must not
  // hold one that fills as it plays.
  media::ACAMFDataList q;
  vehicle::ChartRecordConsumer chart(&q, 0);
  SeenRecord last;
  EXPECT_FALSE(chart.Last(&last));
  ASSERT_TRUE(chart.Start());
  for (int i = 0; i < 100; ++i) Put(q, i * 100, GSensor(i * 0.01));
  Put(q, 10000, Other(41.5));
  ASSERT_TRUE(WaitFor([&] { return chart.Counts().records == 101; }));
  chart.Stop();
  EXPECT_TRUE(chart.Seen().empty());
  EXPECT_FALSE(chart.SeenComplete());
  ASSERT_TRUE(chart.Last(&last));
  EXPECT_EQ(last.kind, SeenRecord::kOtherSensors);
  EXPECT_EQ(last.timeMs, 10000);
  EXPECT_DOUBLE_EQ(last.values[0], 0.99);  // x of the G-sensor sample before
  EXPECT_DOUBLE_EQ(last.values[3], 41.5);
}

TEST(RecordConsumers, StopEndsAnIdleConsumerPromptlyAndItCanRestart) {
  media::ACAMFDataList q;
  vehicle::MapRecordConsumer map(&q);
  ASSERT_TRUE(map.Start());
  EXPECT_FALSE(map.Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto t0 = std::chrono::steady_clock::now();
  map.Stop();
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(took, std::chrono::milliseconds(200));
  EXPECT_FALSE(map.Running());
  ASSERT_TRUE(map.Start());
  Put(q, 5, Gps(23.1));
  ASSERT_TRUE(WaitFor([&] { return map.Counts().gps == 1; }));
}

}  // namespace
