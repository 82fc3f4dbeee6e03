#include "core/record_name.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "fuzz/record_name_oracle.h"

namespace corvane {
namespace {

TEST(RecordName, KrvNameGivesStartTypesAndAllChannels) {
  RecordName r = ParseRecordName("20140315083000_1000.krv", RecordKind::Krv);
  EXPECT_EQ(r.start, 1394872200);  // 2014-03-15 08:30:00 UTC
  EXPECT_EQ(r.year, 2014);
  EXPECT_EQ(r.month, 3);
  EXPECT_EQ(r.day, 15);
  EXPECT_EQ(r.hour, 8);
  EXPECT_EQ(r.minute, 30);
  EXPECT_EQ(r.second, 0);
  EXPECT_EQ(r.typeMask, 0x01000000u);
  EXPECT_EQ(RecordTypeImage(r.typeMask), 8);
  EXPECT_EQ(r.channel, -1);

  r = ParseRecordName("20991231235959_A00F.KRV", RecordKind::Krv);
  EXPECT_EQ(r.typeMask, 0x0A00000Fu);
  EXPECT_EQ(RecordTypeImage(r.typeMask), 9);
  EXPECT_EQ(r.start, 4102444799);
}

TEST(RecordName, AviNameGivesTheZeroBasedChannel) {
  RecordName r = ParseRecordName("20140315083000_0011_03.avi", RecordKind::Avi);
  EXPECT_EQ(r.start, 1394872200);
  EXPECT_EQ(r.typeMask, 0x00000101u);
  EXPECT_EQ(RecordTypeImage(r.typeMask), 3);
  EXPECT_EQ(r.channel, 2);
  // No suffix, or one below 1: channel 0 (shown as 1).
  EXPECT_EQ(ParseRecordName("20140315083000_0011.avi", RecordKind::Avi).channel, 0);
  EXPECT_EQ(ParseRecordName("20140315083000_0011_00.avi", RecordKind::Avi).channel, 0);
  // Above four: kept (the window must not address a fifth pane).
  EXPECT_EQ(ParseRecordName("20140315083000_0011_12.avi", RecordKind::Avi).channel, 11);
  // The KRV reading of an AVI name ignores the suffix.
  EXPECT_EQ(ParseRecordName("20140315083000_0011_03.avi", RecordKind::Krv).channel, -1);
}

TEST(RecordName, MalformedNamesLeaveFieldsZero) {
  EXPECT_EQ(ParseRecordName("20140315083000_0000.krv", RecordKind::Krv).typeMask, 0u);
  RecordName r = ParseRecordName("holiday.krv", RecordKind::Krv);
  EXPECT_EQ(r.typeMask, 0u);
  // Year 0, month 0, day 0 normalised by the UTC conversion.
  EXPECT_EQ(r.start, ParseRecordName("", RecordKind::Krv).start);
  // Stops at the first field that does not read: the types stay 0.
  r = ParseRecordName("20140315_1000.krv", RecordKind::Krv);
  EXPECT_EQ(r.typeMask, 0u);
  EXPECT_EQ(r.year, 2014);
  EXPECT_EQ(r.hour, 0);
  // Everything after the first '.' is cut: the types here come before it.
  r = ParseRecordName("20140315083000_0100.part.krv", RecordKind::Krv);
  EXPECT_EQ(r.typeMask, 0x00010000u);
  EXPECT_EQ(ParseRecordName("20140315083000.0100.krv", RecordKind::Krv).typeMask, 0u);
  // Out-of-range fields are normalised: 2014-13-32 is 2015-02-01.
  r = ParseRecordName("20141332250000_1000.krv", RecordKind::Krv);
  EXPECT_EQ(r.year, 2015);
  EXPECT_EQ(r.month, 2);
  EXPECT_EQ(r.day, 2);
  EXPECT_EQ(r.hour, 1);
}

TEST(RecordRowTexts, DurationChannelAndDateTexts) {
  EXPECT_EQ(DurationText(0), "--:--:--");
  EXPECT_EQ(DurationText(-5), "--:--:--");
  EXPECT_EQ(DurationText(3725), "01:02:05");
  EXPECT_EQ(DurationText(100 * 3600), "100:00:00");
  EXPECT_EQ(DurationText(59), "00:00:59");

  auto info = std::make_unique<RecFileInfo>();
  RecordName n = ParseRecordName("00990101000000_0011_03.avi", RecordKind::Avi);
  info->start = n.start;
  info->channel = n.channel;
  info->typeMask = n.typeMask;
  info->duration = 3725;
  RecordRow row = MakeRecordRow("/rec/x.avi", n, std::move(info));
  EXPECT_EQ(row.text[kColumnDate], "  99-01-01");  // year space-padded to four
  EXPECT_EQ(row.text[kColumnTime], "00:00:00");
  EXPECT_EQ(row.text[kColumnDuration], "01:02:05");
  EXPECT_EQ(row.text[kColumnChannel], "3");
  EXPECT_EQ(row.text[kColumnStatus], "");
  EXPECT_EQ(row.text[kColumnPath], "/rec/x.avi");
  EXPECT_EQ(row.image, 3);
}

// The fields are read by hand as sscanf reads the grammar's formats: white
// space before a field is skipped, a sign counts in the field's width, a
// field without digits ends the scan. Names made to probe each rule, random
// names over the grammar's alphabet, and every real date from year -999 to
// 9999 (the years four characters hold), against sscanf and timegm.
TEST(RecordName, ReadsEveryNameAsSscanfAndTimegmDo) {
  std::vector<std::string> names = {
      "20140315083000_1000.krv", "20140315083000_0011_03.avi", "", "_", "2014", "2014031508300",
      " 2014 03 15\t08\n30\v00_1000", "\f2014\r0315083000_ 1 0 0 0_ 3", "+2014-3+15-1+1-1_ffff_-9",
      "-999-9-9-9-9-9_FfFf_+1", "+-2014", "-", "+", "2014-", "2014+a", "20140315083000_-1000", "20140315083000_+000",
      "20140315083000_0x00", "0x140315083000_1000", "201403150830000_1000", "20140315083000__1000",
      "20140315083000_1000_", "20140315083000_1000__3", "20140315083000_1000_1", "20140315083000_1000_123",
      "20140315083000_1000_-1", "20140315083000_1000_ +3", "20140315083000_1000_+", "20140315083000_100g",
      "20140229000000_1000", "20130229000000_1000", "21000229000000_1000", "20000229000000_1000",
      "00000101000000_1000", "00000229000000_1000", "-0010101000000_1000", "-0990229000000_1000",
      "-4000229235959_1000", "99991231235959_1000", "99991232235960_1000", "20141332250000_1000",
      "20140000000000_1000", "20140100000000_1000", "20140131240000_1000", "20140131236000_1000",
      "20140131235960_1000", "20140431000000_1000", "20141231235959_1000", "19700101000000_0001",
      "19691231235959_0001", "2014031508\x85" "30_1000", "2014031508\xa0" "30_1000", std::string("20140315\0" "083000", 15),
      "20140315083000.1000_1000", "holiday.krv", "\xEF\xBB\xBF" "20140315083000_1000"};
  std::mt19937 rng(2024);
  const std::string alphabet = "0123456789012345678901234567890123456789_____+- \t.xXaFg\x85\xa0";
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    if (i % 2 == 0) {
      s = names[rng() % names.size()];
      for (int e = 1 + static_cast<int>(rng() % 3); e > 0 && !s.empty(); --e)
        s[rng() % s.size()] = alphabet[rng() % alphabet.size()];
    } else {
      for (int n = static_cast<int>(rng() % 28); n > 0; --n) s += alphabet[rng() % alphabet.size()];
    }
    names.push_back(s);
  }
  char date[64];
  for (int year = -999; year <= 9999; year += (year > 1900 && year < 2100) ? 1 : 7)
    for (int month = 1; month <= 12; ++month)
      for (int day : {1, 28, 29, 30, 31}) {
        std::snprintf(date, sizeof date, "%04d%02d%02d235959_1000", year, month, day);
        names.push_back(date);
      }
  for (const std::string& name : names) {
    for (RecordKind kind : {RecordKind::Krv, RecordKind::Avi}) {
      RecordName got = ParseRecordName(name, kind);
      RecordName want = test::SscanfRecordName(name, kind);
      ASSERT_TRUE(test::SameRecordName(got, want))
          << "name \"" << name << "\" kind " << (kind == RecordKind::Krv ? "KRV" : "AVI") << ": start " << got.start
          << " vs " << want.start << ", types " << got.typeMask << " vs " << want.typeMask << ", channel "
          << got.channel << " vs " << want.channel;
    }
  }
}

// The row texts are written by hand as snprintf writes "%4d-%02d-%02d",
// "%02d:%02d:%02d" and "%d", and the duration as "%02" PRId64 ":%02d:%02d".
TEST(RecordRowTexts, AreWhatSnprintfWrites) {
  const int64_t durations[] = {1, 9, 59, 60, 3599, 3600, 3725, 35999, 36000, 360000, 86399, 4102444800,
                               INT64_MAX, INT64_MAX - 1, int64_t{1} << 40};
  char buf[128];
  for (int64_t d : durations) {
    std::snprintf(buf, sizeof buf, "%02" PRId64 ":%02d:%02d", d / 3600, static_cast<int>(d % 3600 / 60),
                  static_cast<int>(d % 60));
    EXPECT_EQ(DurationText(d), buf) << d;
  }
  EXPECT_EQ(DurationText(INT64_MIN), "--:--:--");

  std::mt19937 rng(7);
  const int special[] = {0, 1, -1, 9, 10, -9, -10, 99, 100, 999, 1000, -999, -1000, 9999, 10000, INT32_MAX, INT32_MIN};
  auto pick = [&] {
    return rng() % 2 ? special[rng() % (sizeof special / sizeof special[0])] : static_cast<int>(rng() % 20001) - 10000;
  };
  for (int i = 0; i < 5000; ++i) {
    RecordName n;
    n.year = pick(), n.month = pick(), n.day = pick(), n.hour = pick(), n.minute = pick(), n.second = pick();
    auto info = std::make_unique<RecFileInfo>();
    const int channel = info->channel = i % 3 == 0 ? -1 : pick() % 1000;
    const int64_t duration = info->duration = i % 5 == 0 ? 0 : static_cast<int64_t>(rng()) * (i % 7 == 0 ? 100000 : 1);
    RecordRow row = MakeRecordRow("/p", n, std::move(info));
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d", n.year, n.month, n.day);
    ASSERT_EQ(row.text[kColumnDate], buf);
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", n.hour, n.minute, n.second);
    ASSERT_EQ(row.text[kColumnTime], buf);
    std::snprintf(buf, sizeof buf, "%d", channel + 1);
    ASSERT_EQ(row.text[kColumnChannel], channel >= 0 ? std::string(buf) : "1,2,3,4");
    ASSERT_EQ(row.text[kColumnDuration], DurationText(duration));
  }
}

}  // namespace
}  // namespace corvane
