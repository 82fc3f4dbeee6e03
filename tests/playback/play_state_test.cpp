// The shared path texts of the play state and what a recording's name tells
// its reader.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "playback/play_state.h"
#include "krvreader/record_start.h"
#include "core/record_name.h"

namespace {

TEST(SharedPath, TruncatesComparesWithoutCaseAndCopiesBounded) {
  playback::SharedPath a, b;
  EXPECT_TRUE(a.Empty());
  a.Set("/Rec/20240101120000_1000.KRV");
  b.Set("/rec/20240101120000_1000.krv");
  EXPECT_TRUE(a.EqualsNoCase(b));
  EXPECT_TRUE(a.EqualsNoCase(a));
  b.Set("/rec/20240101120000_1000.krv2");
  EXPECT_FALSE(a.EqualsNoCase(b));
  EXPECT_FALSE(b.EqualsNoCase(a));
  std::string longText(5000, 'x');
  a.Set(longText.c_str());
  EXPECT_EQ(a.Length(), 1023u);
  char small[8];
  EXPECT_EQ(a.CopyTo(small, sizeof small), 7u);
  EXPECT_STREQ(small, "xxxxxxx");
  a.Set(nullptr);
  EXPECT_TRUE(a.Empty());
  // Non-ASCII bytes compare as they are.
  a.Set("\xC3\x84");
  b.Set("\xC3\xA4");
  EXPECT_FALSE(a.EqualsNoCase(b));
}

TEST(SharedPath, TwoThreadsComparingEachOtherNeverWait) {
  playback::SharedPath a, b;
  a.Set("one");
  b.Set("ONE");
  std::thread t([&] {
    for (int i = 0; i < 20000; ++i) EXPECT_TRUE(a.EqualsNoCase(b));
  });
  for (int i = 0; i < 20000; ++i) {
    EXPECT_TRUE(b.EqualsNoCase(a));
    if (i % 100 == 0) b.Set(i % 200 ? "One" : "oNe");
  }
  t.join();
}

TEST(RecordStart, DateAndTimeOfTheNameAsUtc) {
  EXPECT_EQ(krv::RecordStartFromName("/a/b/20231114221320_1000.krv"), 1700000000);
  EXPECT_EQ(krv::RecordStartFromName("20231114221320_0100_03.avi"), 1700000000);
  EXPECT_EQ(krv::RecordStartFromName("/x.y/20231114221320"), 1700000000);
  EXPECT_EQ(krv::RecordChannelFromName("/p/20231114221320_0100_03.avi"), 2);
  EXPECT_EQ(krv::RecordChannelFromName("/p/20231114221320_0100.avi"), 0);
  EXPECT_EQ(krv::RecordChannelFromName("/p/20231114221320_0100_00.avi"), 0);
  EXPECT_EQ(krv::RecordChannelFromName("/p/20231114221320_0100_12.avi"), 11);
  EXPECT_EQ(krv::RecordChannelFromName(nullptr), 0);
  std::string longName = "/" + std::string(3000, '9') + ".krv";
  (void)krv::RecordStartFromName(longName.c_str());  // bounded, whatever it says
}

TEST(RecordStart, AgreesWithTheCatalogue) {
  const char* names[] = {"20231114221320_1000.krv", "20240229235959_0001_04.avi", "19991231000000_ffff_01.avi",
                         "20230231101010_1000.krv", "2023_1000.krv", "", "garbage", "20231114221320_10.krv",
                         "20231114221320_1000_7.avi", "99999999999999_0000_99.avi"};
  for (const char* n : names) {
    auto avi = corvane::ParseRecordName(n, corvane::RecordKind::Avi);
    EXPECT_EQ(krv::RecordStartFromName(n), avi.start) << n;
    EXPECT_EQ(krv::RecordChannelFromName(n), avi.channel) << n;
    std::string path = std::string("/some/dir/") + n;
    EXPECT_EQ(krv::RecordStartFromName(path.c_str()), avi.start) << n;
  }
}

}  // namespace
