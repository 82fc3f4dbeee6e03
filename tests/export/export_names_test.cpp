// The save dialog's names of exported files.
#include <gtest/gtest.h>

#include "export/export_names.h"
#include "krvreader/record_start.h"

namespace {

TEST(ExportNames, ProposedNameMovesTheStartAndCarriesTypeDigitsAndChannel) {
  const std::string source = "/rec/2013-12-27/20131227070943_0100_02.krv";
  const int64_t start = krv::RecordStartFromName(source.c_str());
  ASSERT_GT(start, 0);
  // Cut from second 65, the selected pane on channel 3.
  EXPECT_EQ(avexport::ProposedName(start, 65, source, 2), "20131227071048_0100_03");
  // Digits that are missing read as 0; hex digits stay hex.
  EXPECT_EQ(avexport::ProposedName(start, 0, "/x/20131227070943.krv", 0), "20131227070943_0000_01");
  EXPECT_EQ(avexport::ProposedName(start, 0, "20131227070943_a1f3_04.avi", 3), "20131227070943_a1f3_04");
}

TEST(ExportNames, ChannelNamesKeepTheBaseAndExtension) {
  EXPECT_EQ(avexport::ChannelName("20131227071048_0100_03", 1), "20131227071048_0100_01");
  EXPECT_EQ(avexport::ChannelName("20131227071048_0100_03", 3), "20131227071048_0100_03");
  EXPECT_EQ(avexport::ChannelName("clip_07.avi", 2), "clip_02.avi");
  EXPECT_EQ(avexport::WithAviExtension("/out/20131227071048_0100_01"), "/out/20131227071048_0100_01.avi");
  EXPECT_EQ(avexport::WithAviExtension("/out/clip.mov"), "/out/clip.mov");
  EXPECT_EQ(avexport::WithAviExtension("/out.d/clip"), "/out.d/clip.avi");
}

}  // namespace
