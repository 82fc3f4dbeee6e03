// The map consumer's rules through its sink: which fixes are drawn, in what
// order, where (offset correction and its two flags), what "Seek" and the
// clear-tracks request do, and the wait for the page that a stop ends. Also
// the chart consumer's sink.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "krv_test_util.h"
#include "media/ac_media_list.h"
#include "vehicle/record_consumers.h"
#include "vehicle/record_delivery.h"

namespace {

using krvtest::Builder;
using krvtest::Bytes;

struct Call {
  std::string what;
  std::string car;
  double a = 0, b = 0;
  int dir = 0;
};

class RecordingSink : public vehicle::MapSink, public vehicle::ChartSink {
 public:
  void ClearAllTrackLine(const char* car) override { Add({"clear", car}); }
  void DrawTrackLine(const char* car, double lat, double lon) override { Add({"draw", car, lat, lon}); }
  void MoveCar(const char* car, double lat, double lon, int dir) override { Add({"move", car, lat, lon, dir}); }
  void Flyto(double lat, double lon) override { Add({"fly", "", lat, lon}); }
  void ShowFields(int used, int visible, double speed, double course) override {
    Add({"fields", std::to_string(used) + "/" + std::to_string(visible), speed, course});
  }
  void Sample(int64_t t, double x, double, double, double temperature, double) override {
    Add({"sample", std::to_string(t), x, temperature});
  }
  void Reset() override { Add({"reset", ""}); }
  std::vector<Call> Calls() {
    std::lock_guard<std::mutex> l(m_);
    return calls_;
  }
  size_t Size() {
    std::lock_guard<std::mutex> l(m_);
    return calls_.size();
  }

 private:
  void Add(Call c) {
    std::lock_guard<std::mutex> l(m_);
    calls_.push_back(std::move(c));
  }
  std::mutex m_;
  std::vector<Call> calls_;
};

struct Fix {
  double mode = 3, lat = 23.5, lon = 113.3, sats = 8, course = 22.9;
  const char* car = nullptr;
};

Bytes Gps(const Fix& f) {
  Builder b;
  b.Str("GPS").EcmaBegin(0).NumEntry("mode", f.mode).NumEntry("lat", f.lat).NumEntry("lon", f.lon);
  b.NumEntry("sat_used", f.sats).NumEntry("sat_visible", 11).NumEntry("speed", 42.5).NumEntry("course", f.course);
  if (f.car) b.Key("carInfo").Str(f.car);
  b.End();
  return b.bytes();
}

void Put(media::ACAMFDataList& q, const Bytes& b) {
  ASSERT_EQ(vehicle::PutRecord(&q, 0, b.data(), static_cast<int>(b.size())), 1);
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

std::vector<std::string> Kinds(const std::vector<Call>& calls) {
  std::vector<std::string> k;
  for (const auto& c : calls) k.push_back(c.what);
  return k;
}

TEST(MapRules, ModesSatellitesUnchangedFixesAndOrigin) {
  media::ACAMFDataList q;
  RecordingSink sink;
  vehicle::MapRecordConsumer map(&q);
  map.SetSink(&sink);
  map.SetMapOffsetEnabled(0);
  ASSERT_TRUE(map.Start());
  Put(q, Gps({3, 0.0, 0.0}));          // 0/0 equals the start: never drawn
  Put(q, Gps({1.0, 23.1}));            // mode 1.0: not drawn
  Put(q, Gps({5.5, 23.2}));            // mode 5.5: not drawn
  Put(q, Gps({3, 23.3, 113.3, 3}));    // 3 satellites: not drawn
  Put(q, Gps({5.0, 23.4, 113.3, 4}));  // mode 5, 4 satellites: drawn
  Put(q, Gps({3, 23.4, 113.3}));       // unchanged: fields only
  Put(q, Gps({3, 23.4, 113.31, 8, 337.9, "B-1"}));  // moved in longitude only
  ASSERT_TRUE(WaitFor([&] { return map.Counts().records == 7; }));
  map.Stop();
  const auto calls = sink.Calls();
  const std::vector<std::string> want = {"fields", "fields", "fields", "fields", "draw", "move", "fly", "fields",
                                         "fields", "draw",   "move",   "fly",    "fields"};
  EXPECT_EQ(Kinds(calls), want);
  ASSERT_EQ(calls.size(), want.size());
  EXPECT_EQ(calls[4].car, vehicle::GpsState::kDefaultCarInfo);
  EXPECT_EQ(calls[4].a, 23.4);
  EXPECT_EQ(calls[4].b, 113.3);
  EXPECT_EQ(calls[5].dir, 22);
  EXPECT_EQ(calls[7].car, "4/11");
  EXPECT_EQ(calls[7].a, 42.5);
  EXPECT_EQ(calls[9].car, "B-1");
  EXPECT_EQ(calls[10].dir, 337);
  EXPECT_EQ(map.Counts().drawn, 2);
}

TEST(MapRules, TheOffsetAppliesOnlyWithBothFlags) {
  for (int applies : {0, 1}) {
    for (int enabled : {0, 1}) {
      media::ACAMFDataList q;
      RecordingSink sink;
      vehicle::MapRecordConsumer map(&q);
      map.SetSink(&sink);
      map.SetOffsetApplies(applies);
      map.SetMapOffsetEnabled(enabled);
      ASSERT_TRUE(map.Start());
      Put(q, Gps({3, 23.497, 113.505}));
      ASSERT_TRUE(WaitFor([&] { return map.Counts().records == 1; }));
      map.Stop();
      const auto calls = sink.Calls();
      ASSERT_EQ(calls.size(), 4u);
      const bool both = applies && enabled;
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].a, both ? 23.497 - 0.002578 : 23.497) << applies << enabled << i;
        EXPECT_EQ(calls[i].b, both ? 113.505 + 0.005348 : 113.505) << applies << enabled << i;
      }
      EXPECT_EQ(map.Gps().lastDrawnLat, 23.497) << "the raw fix is remembered";
    }
  }
}

TEST(MapRules, SeekAndTheClearRequestClearTheTracks) {
  media::ACAMFDataList q;
  RecordingSink sink;
  vehicle::MapRecordConsumer map(&q);
  map.SetSink(&sink);
  ASSERT_TRUE(map.Start());
  Put(q, Gps({3, 23.1, 113.1, 8, 0, "C-7"}));
  vehicle::RecordDelivery::QueueReset(&q, nullptr);
  ASSERT_TRUE(WaitFor([&] { return map.Counts().records == 2; }));
  map.ClearTracks();  // the idle thread wakes for it
  ASSERT_TRUE(WaitFor([&] { return sink.Size() == 6; }));
  map.Stop();
  const auto calls = sink.Calls();
  EXPECT_EQ(Kinds(calls), (std::vector<std::string>{"draw", "move", "fly", "fields", "clear", "clear"}));
  EXPECT_EQ(calls[4].car, "C-7");
}

TEST(MapRules, RecordsWaitForThePageAndAStopEndsTheWait) {
  media::ACAMFDataList q;
  RecordingSink sink;
  {
    vehicle::MapRecordConsumer map(&q);
    map.RequirePage();
    map.SetSink(&sink);
    ASSERT_TRUE(map.Start());
    Put(q, Gps({3, 23.1}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(map.Counts().records, 0);
    EXPECT_EQ(q.Count(), 1);
    map.PageReady();
    ASSERT_TRUE(WaitFor([&] { return map.Counts().records == 1; }));
    map.Stop();
  }
  EXPECT_EQ(sink.Size(), 4u);
  // Stopped while still waiting for a page that never comes.
  vehicle::MapRecordConsumer waiting(&q);
  waiting.RequirePage();
  ASSERT_TRUE(waiting.Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto t0 = std::chrono::steady_clock::now();
  waiting.Stop();
  EXPECT_FALSE(waiting.Running());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}

TEST(MapRules, TheChartSinkGetsSamplesAndResets) {
  media::ACAMFDataList q;
  RecordingSink sink;
  vehicle::ChartRecordConsumer chart(&q);
  chart.SetSink(&sink);
  ASSERT_TRUE(chart.Start());
  Builder g;
  g.Str("GSensor").EcmaBegin(3).NumEntry("x", 0.25).NumEntry("y", 0).NumEntry("z", 1).End();
  Builder o;
  o.Str("otherSensors").EcmaBegin(2).NumEntry("temperature", 21.5).NumEntry("speed", 50).End();
  ASSERT_EQ(vehicle::PutRecord(&q, 5000, g.bytes().data(), int(g.bytes().size())), 1);
  ASSERT_EQ(vehicle::PutRecord(&q, 5100, o.bytes().data(), int(o.bytes().size())), 1);
  const Bytes clear = {'C', 'l', 'e', 'a', 'r', 0};
  ASSERT_EQ(vehicle::PutRecord(&q, 0, clear.data(), 6), 1);
  ASSERT_EQ(vehicle::PutRecord(&q, 4000, g.bytes().data(), int(g.bytes().size())), 1);
  ASSERT_TRUE(WaitFor([&] { return chart.Counts().records == 4; }));
  chart.Stop();
  const auto calls = sink.Calls();
  EXPECT_EQ(Kinds(calls), (std::vector<std::string>{"sample", "sample", "reset", "reset", "sample"}));
  EXPECT_EQ(calls[1].car, "5100");
  EXPECT_EQ(calls[1].a, 0.25);
  EXPECT_EQ(calls[1].b, 21.5);
}

}  // namespace
