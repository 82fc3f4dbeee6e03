// The record walker and the states it fills: what is stored, what is left
// alone, and how hostile payloads end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "krv_test_util.h"
#include "vehicle/amf_record.h"
#include "vehicle/vehicle_state.h"
#ifdef CORVANE_HAVE_KRVSYNTH
#include "synth/vehicle_records.h"
#endif

namespace {

using krvtest::Builder;
using krvtest::Bytes;
using vehicle::GpsState;
using vehicle::SensorState;
using vehicle::WalkRecord;

bool Walk(const Bytes& b, vehicle::AmfVisitor* v, char* name = nullptr) {
  return WalkRecord(b.data(), static_cast<int>(b.size()), v, name);
}

Bytes FullGps(const std::string& car) {
  Builder b;
  b.Str("GPS").EcmaBegin(10);
  b.NumEntry("mode", 3).NumEntry("lat", 23.123456).NumEntry("lon", 113.654321).NumEntry("alt", 21.5);
  b.NumEntry("speed", 42.25).NumEntry("course", 271.9).NumEntry("sat_used", 7.9).NumEntry("sat_visible", -3.7);
  b.NumEntry("time", 1700000123.99).Key("carInfo").Str(car);
  b.End();
  return b.bytes();
}

TEST(AmfRecord, GpsRecordStoresEveryKeyWithItsTypeAndClampsHugeNumbers) {
  GpsState gps;
  char name[vehicle::kAmfStringLimit];
  ASSERT_TRUE(Walk(FullGps("B-1234"), &gps, name));
  EXPECT_STREQ(name, "GPS");
  EXPECT_EQ(gps.mode, 3.0);
  EXPECT_EQ(gps.lat, 23.123456);
  EXPECT_EQ(gps.lon, 113.654321);
  EXPECT_EQ(gps.alt, 21.5);
  EXPECT_EQ(gps.speed, 42.25);
  EXPECT_EQ(gps.course, 271.9);
  EXPECT_EQ(gps.satUsed, 7);       // truncated toward zero
  EXPECT_EQ(gps.satVisible, -3);   // toward zero, not down
  EXPECT_EQ(gps.time, 1700000123);
  EXPECT_STREQ(gps.carInfo, "B-1234");
  EXPECT_TRUE(gps.UsableFix());
  // Numbers beyond the integer keys are clamped, NaN is 0.
  GpsState big;
  Builder b;
  b.Str("GPS").EcmaBegin(0).NumEntry("sat_used", 1e300).NumEntry("sat_visible", -1e300);
  b.Key("time").U8(0).Raw(Bytes{0x7F, 0xF8, 0, 0, 0, 0, 0, 0}).End();  // NaN
  ASSERT_TRUE(Walk(b.bytes(), &big));
  EXPECT_EQ(big.satUsed, INT32_MAX);
  EXPECT_EQ(big.satVisible, INT32_MIN);
  EXPECT_EQ(big.time, 0);
}

// A record changes the keys it carries with the type they have, and nothing
// else; carInfo starts as the default.
TEST(AmfRecord, MissingKeysAndValuesOfAnotherTypeKeepWhatWasThere) {
  GpsState gps;
  EXPECT_STREQ(gps.carInfo, "\xE7\xB2\xA4" "A.168B");
  Builder b;
  b.Str("GPS").EcmaBegin(0).NumEntry("lat", 22.5).End();
  ASSERT_TRUE(Walk(b.bytes(), &gps));
  EXPECT_EQ(gps.lat, 22.5);
  EXPECT_EQ(gps.lon, 0.0);
  EXPECT_STREQ(gps.carInfo, "\xE7\xB2\xA4" "A.168B");
  Builder d;
  d.Str("GPS").EcmaBegin(0).NumEntry("carInfo", 5.0).NumEntry("Lat", 5.0).End();  // wrong type, wrong case
  ASSERT_TRUE(Walk(d.bytes(), &gps));
  EXPECT_STREQ(gps.carInfo, "\xE7\xB2\xA4" "A.168B");
  EXPECT_EQ(gps.lat, 22.5);
  ASSERT_TRUE(Walk(FullGps("CAR"), &gps));
  Builder c;
  c.Str("GPS").EcmaBegin(0).NumEntry("lon", 100.0).End();
  ASSERT_TRUE(Walk(c.bytes(), &gps));
  EXPECT_STREQ(gps.carInfo, "CAR");
  EXPECT_EQ(gps.lat, 23.123456);
  EXPECT_EQ(gps.lon, 100.0);

  SensorState s;
  Builder e;
  e.Str("otherSensors").EcmaBegin(0).NumEntry("speed", 12.0).End();
  ASSERT_TRUE(Walk(e.bytes(), &s));
  Builder f;
  f.Str("otherSensors").EcmaBegin(0).Key("speed").Bool(true).Key("temperature").Str("hot").End();
  ASSERT_TRUE(Walk(f.bytes(), &s));
  EXPECT_EQ(s.speed, 12.0);
  EXPECT_EQ(s.temperature, 0.0);
}

TEST(AmfRecord, KeysOf255BytesAreWalkedAndOf256AbandonTheRecord) {
  SensorState s;
  Builder ok;
  ok.Str("GSensor").EcmaBegin(0).NumEntry(std::string(255, 'k'), 9.0).NumEntry("x", 0.5).End();
  EXPECT_TRUE(Walk(ok.bytes(), &s));
  EXPECT_EQ(s.x, 0.5);
  Builder bad;
  bad.Str("GSensor").EcmaBegin(0).NumEntry("y", 0.25).NumEntry(std::string(256, '\t'), 9.0).NumEntry("z", 7.0).End();
  EXPECT_FALSE(Walk(bad.bytes(), &s));
  EXPECT_EQ(s.y, 0.25);  // stored before the error
  EXPECT_EQ(s.z, 0.0);   // never reached
}

TEST(AmfRecord, ValuesInsideObjectsAndStrictArraysAreNotStored) {
  SensorState s;
  Builder b;
  b.Str("GSensor").EcmaBegin(0);
  b.Key("inner").U8(3).NumEntry("x", 5.0).Be16(0).U8(9);         // object
  b.Key("list").U8(10).Be32(2).Num(1.0).Num(2.0);                 // strict array
  b.Key("when").U8(11).Raw(Bytes(10, 0));                          // date
  b.Key("nothing").U8(5).Key("undef").U8(6).Key("unsup").U8(13);
  b.NumEntry("y", 0.75).End();
  ASSERT_TRUE(Walk(b.bytes(), &s));
  EXPECT_EQ(s.x, 0.0);
  EXPECT_EQ(s.y, 0.75);
}

TEST(AmfRecord, DeepNestingEndsInAnError) {
  Builder b;
  b.Str("GPS");
  for (int i = 0; i < 5000; ++i) b.U8(10).Be32(1);  // strict arrays inside strict arrays
  b.Num(1.0);
  GpsState gps;
  EXPECT_FALSE(Walk(b.bytes(), &gps));
  Builder objects;
  for (int i = 0; i < 5000; ++i) objects.U8(3).Key("o");
  EXPECT_FALSE(Walk(objects.bytes(), &gps));
}

TEST(AmfRecord, EveryTruncationStopsAtTheEnd) {
  const Bytes full = FullGps("TRUNCATED-CAR");
  for (size_t cut = 0; cut < full.size(); ++cut) {
    // A copy of exactly `cut` bytes, so that ASan sees any read past it.
    Bytes part(full.begin(), full.begin() + static_cast<long>(cut));
    GpsState gps;
    bool ok = Walk(part, &gps);
    // Only the name alone (a complete first value) walks without an error.
    const size_t nameOnly = 1 + 2 + 3;
    EXPECT_EQ(ok, cut == 0 || cut == nameOnly) << "cut at " << cut;
  }
  GpsState gps;
  EXPECT_TRUE(Walk(full, &gps));
}

TEST(AmfRecord, StringsLongerThanWhatRemainsAndUnknownTypesAreErrors) {
  GpsState gps;
  Builder longer;
  longer.U8(2).Be16(40).Text("GPS");
  EXPECT_FALSE(Walk(longer.bytes(), &gps));
  Builder unknown;
  unknown.Str("GPS").U8(0x42);
  EXPECT_FALSE(Walk(unknown.bytes(), &gps));
  Builder badEnd;
  badEnd.Str("GPS").EcmaBegin(0).NumEntry("lat", 1.0).Be16(0).U8(8);
  EXPECT_FALSE(Walk(badEnd.bytes(), &gps));
  EXPECT_EQ(gps.lat, 1.0);
  EXPECT_TRUE(WalkRecord(nullptr, 0, &gps, nullptr));
  EXPECT_TRUE(WalkRecord(nullptr, 50, &gps, nullptr));  // no bytes at all
}

#ifdef CORVANE_HAVE_KRVSYNTH
TEST(AmfRecord, TheSynthesisedRecordsWalkCompletely) {
  krvsynth::VehicleSimulator sim(7);
  GpsState gps;
  SensorState sensors;
  for (int sec = 0; sec < 30; ++sec) {
    char name[vehicle::kAmfStringLimit];
    auto g = sim.Gps(sec, 1700000000 + sec, "\xE7\xB2\xA4" "A.12345");
    ASSERT_TRUE(WalkRecord(g.data(), static_cast<int>(g.size()), &gps, name));
    EXPECT_STREQ(name, "GPS");
    EXPECT_TRUE(gps.UsableFix());
    EXPECT_GT(gps.lat, 23.0);
    EXPECT_LT(gps.lat, 23.3);
    EXPECT_GT(gps.lon, 113.2);
    EXPECT_LT(gps.lon, 113.6);
    EXPECT_EQ(gps.time, 1700000000 + sec);
    EXPECT_STREQ(gps.carInfo, "\xE7\xB2\xA4" "A.12345");
    auto o = sim.OtherSensors(sec);
    ASSERT_TRUE(WalkRecord(o.data(), static_cast<int>(o.size()), &sensors, name));
    EXPECT_STREQ(name, "otherSensors");
    EXPECT_EQ(sensors.speed, std::round(sensors.speed * 1000) / 1000);
    for (int t = 0; t < 10; ++t) {
      auto s = sim.GSensor(sec * 10 + t);
      ASSERT_TRUE(WalkRecord(s.data(), static_cast<int>(s.size()), &sensors, name));
      EXPECT_STREQ(name, "GSensor");
      EXPECT_NEAR(sensors.z, 1.0, 0.1);
    }
  }
}
#endif

}  // namespace
