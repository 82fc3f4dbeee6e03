// The reader's delivery rules: which queue a record goes to, with which
// time, the GPS hold of second play and the control records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "krv_test_util.h"
#include "media/ac_media_list.h"
#include "vehicle/record_delivery.h"
#include "vehicle/vehicle_state.h"

namespace {

using krvtest::Builder;
using krvtest::Bytes;
using vehicle::RecordDelivery;
using vehicle::RecordKind;

struct Entry {
  int64_t key;
  Bytes bytes;
};

std::vector<Entry> Drain(media::ACAMFDataList& q) {
  std::vector<Entry> out;
  unsigned char buf[256];
  int64_t key = 0;
  int n = sizeof buf;
  while (q.PopPacket(&key, buf, &n)) {
    out.push_back({key, Bytes(buf, buf + n)});
    n = sizeof buf;
  }
  return out;
}

Bytes Record(const std::string& name) {
  Builder b;
  b.Str(name).EcmaBegin(1).NumEntry("x", 1.0).End();
  return b.bytes();
}

RecordKind Deliver(RecordDelivery& d, media::ACAMFDataList* map, media::ACAMFDataList* chart, const Bytes& b,
                   int64_t ms, bool held) {
  return d.Deliver(map, chart, b.data(), static_cast<int>(b.size()), ms, held);
}

bool IsSeek(const Entry& e) { return vehicle::IsSeekRecord(e.bytes.data(), static_cast<int>(e.bytes.size())); }
bool IsClear(const Entry& e) { return vehicle::IsClearRecord(e.bytes.data(), static_cast<int>(e.bytes.size())); }

TEST(RecordDelivery, NamesChooseTheQueueAndSensorsGetWallClockTimes) {
  media::ACAMFDataList map, chart;
  RecordDelivery d;
  d.SetStartTime(1700000000);
  EXPECT_EQ(Deliver(d, &map, &chart, Record("GPS"), 2000, false), RecordKind::kGps);
  EXPECT_EQ(Deliver(d, &map, &chart, Record("GSensor"), 2100, false), RecordKind::kGSensor);
  EXPECT_EQ(Deliver(d, &map, &chart, Record("otherSensors"), 3000, false), RecordKind::kOtherSensors);
  EXPECT_EQ(Deliver(d, &map, &chart, Record("gps"), 3000, false), RecordKind::kOther);
  EXPECT_EQ(Deliver(d, &map, &chart, Record("Seek"), 3000, false), RecordKind::kOther);
  auto m = Drain(map);
  auto c = Drain(chart);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].key, 2000);
  EXPECT_EQ(m[0].bytes, Record("GPS"));  // whole, name included
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].key, 1700000000LL * 1000 + 2100);
  EXPECT_EQ(c[1].key, 1700000000LL * 1000 + 3000);
}

TEST(RecordDelivery, NamesOf255BytesAreComparedAndOf256Ignored) {
  EXPECT_EQ(vehicle::ClassifyRecord(Record(std::string(255, 'n')).data(), 300), RecordKind::kOther);
  Bytes b = Record(std::string(256, 'n'));
  EXPECT_EQ(vehicle::ClassifyRecord(b.data(), static_cast<int>(b.size())), RecordKind::kNone);
  Bytes cut = {2, 0, 3, 'G', 'P'};  // a name longer than the payload
  EXPECT_EQ(vehicle::ClassifyRecord(cut.data(), static_cast<int>(cut.size())), RecordKind::kNone);
  Bytes notString = {8, 0, 3, 'G', 'P', 'S'};
  EXPECT_EQ(vehicle::ClassifyRecord(notString.data(), static_cast<int>(notString.size())), RecordKind::kNone);
  EXPECT_EQ(vehicle::ClassifyRecord(nullptr, 10), RecordKind::kNone);
  Bytes gps = {2, 0, 3, 'G', 'P', 'S'};
  EXPECT_EQ(vehicle::ClassifyRecord(gps.data(), static_cast<int>(gps.size())), RecordKind::kGps);
}

TEST(RecordDelivery, SecondPlayHoldsGpsAndQueuesOneSeek) {
  media::ACAMFDataList map, chart;
  RecordDelivery d;
  Deliver(d, &map, &chart, Record("GPS"), 1000, false);
  Deliver(d, &map, &chart, Record("GPS"), 2000, true);   // first held: one "Seek"
  Deliver(d, &map, &chart, Record("GPS"), 3000, true);   // dropped
  Deliver(d, &map, &chart, Record("GSensor"), 3000, true);  // the charts go on
  Deliver(d, &map, &chart, Record("GPS"), 4000, true);
  Deliver(d, &map, &chart, Record("GPS"), 5000, false);  // released
  Deliver(d, &map, &chart, Record("GPS"), 6000, true);   // held again: one more "Seek"
  auto m = Drain(map);
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[0].key, 1000);
  EXPECT_TRUE(IsSeek(m[1]));
  EXPECT_EQ(m[1].key, 0);
  EXPECT_EQ(m[2].key, 5000);
  EXPECT_TRUE(IsSeek(m[3]));
  EXPECT_EQ(Drain(chart).size(), 1u);
}

TEST(RecordDelivery, ResetQueuesSeekAndClearAndAMapNotShownYetTakesNothing) {
  media::ACAMFDataList map, chart;
  RecordDelivery::QueueReset(&map, &chart);
  auto m = Drain(map);
  auto c = Drain(chart);
  ASSERT_EQ(m.size(), 1u);
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(m[0].bytes, (Bytes{'S', 'e', 'e', 'k', 0}));
  EXPECT_EQ(c[0].bytes, (Bytes{'C', 'l', 'e', 'a', 'r', 0}));
  EXPECT_TRUE(IsSeek(m[0]));
  EXPECT_TRUE(IsClear(c[0]));
  EXPECT_EQ(m[0].key, 0);
  EXPECT_EQ(c[0].key, 0);

  // A map not shown yet takes nothing, and the flag still follows.
  RecordDelivery d;
  Deliver(d, nullptr, &chart, Record("GPS"), 1000, false);
  EXPECT_TRUE(d.GpsForwarded());
  RecordDelivery::QueueReset(nullptr, &chart);
  EXPECT_EQ(Drain(chart).size(), 1u);
}

}  // namespace
