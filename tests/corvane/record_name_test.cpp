#include "core/record_name.h"

#include <gtest/gtest.h>

#include "core/catalogue.h"

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

}  // namespace
}  // namespace corvane
