// krvtool export: the arguments, the dialog's names under -d, the report,
// the exit codes.
#include <gtest/gtest.h>

#include "export_test_util.h"

namespace {

using namespace exporttest;
using krvtest::Quote;
using krvtest::RunShell;

std::string Krvtool() { return krvtest::KrvtoolPath(); }

TEST(KrvtoolExport, OneChannelToAFileAndSeveralUnderTheDialogsNames) {
  TempDir dir;
  krvsynth::SynthOptions o = playtest::Small(8, 4);
  o.startTime = 1388128183;
  const std::string src = dir.File("20131227070943_0100_02.krv");
  playtest::MakeKrv(o, src);

  // One channel (the last, whose key frame at 2 s the seek finds); ".avi"
  // is added to a name without extension.
  const std::string one = dir.File("one");
  krvtest::RunResult r = RunShell(Krvtool() + " export " + Quote(src) + " --from 2 --to 4 --channel 3 -o " +
                                  Quote(one) + " --report");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"outcome\":\"finished\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"progress\":[0,50,100]"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(one + ".avi"));
  EXPECT_EQ(Md5s(AviMd5(one + ".avi"), INT64_MIN, INT64_MAX), Md5s(SourceMd5(src, 3), 2000, 4000));

  // Channels 1 and 3 (0 and 2) under the dialog's names, with the sidecars.
  const std::string out = dir.File("out");
  r = RunShell(Krvtool() + " export " + Quote(src) + " --from 5 --to 7 --channels 0,2 -d " + Quote(out) +
               " --sha256 --gpx");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"20131227070948_0100_01.avi", "20131227070948_0100_01.gpx",
                                                     "20131227070948_0100_01.sha256", "20131227070948_0100_03.avi"}));
  r = RunShell("cd " + Quote(out) + " && sha256sum -c 20131227070948_0100_01.sha256");
  EXPECT_EQ(r.code, 0) << r.out << r.err;
}

TEST(KrvtoolExport, RefusedRequestsAndBadUsageExitTwo) {
  TempDir dir;
  const std::string src = dir.File("20131227070943_0100_01.krv");
  playtest::MakeKrv(playtest::Small(3, 1), src);
  krvtest::RunResult r = RunShell(Krvtool() + " export " + Quote(src) + " --from 1 --to 2 --channel 0 -o " + Quote(src));
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("recording being read"), std::string::npos) << r.err;
  r = RunShell(Krvtool() + " export " + Quote(src) + " --from 1 --to 2 --channel 4 -o x.avi");
  EXPECT_EQ(r.code, 2);
  r = RunShell(Krvtool() + " export " + Quote(src) + " --from 1 --to 2");
  EXPECT_EQ(r.code, 2);
  r = RunShell(Krvtool() + " export " + Quote(src) + " --from 1 --to 2 --channels 0,0 -d " + Quote(dir.File("d")));
  EXPECT_EQ(r.code, 2);
}

TEST(KrvtoolExport, RecordingEndingFirstExitsOneAndKeepsTheFile) {
  TempDir dir;
  const std::string src = dir.File("20131227070943_0100_01.krv");
  playtest::MakeKrv(playtest::Small(3, 1), src);
  const std::string outFile = dir.File("end.avi");
  krvtest::RunResult r = RunShell(Krvtool() + " export " + Quote(src) + " --from 1 --to 9 --channel 0 -o " +
                                  Quote(outFile) + " --report");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("\"outcome\":\"stopped-early\""), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("ended before second 9"), std::string::npos) << r.err;
  EXPECT_EQ(Probe(outFile, "v")["codec_name"], "h264");
  // A recording that does not open: exit 1, nothing written.
  const std::string none = dir.File("none.avi");
  r = RunShell(Krvtool() + " export " + Quote(dir.File("20131227070943_0100_09.krv")) +
               " --from 1 --to 2 --channel 0 -o " + Quote(none));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(none));
  EXPECT_FALSE(fs::exists(none + ".part"));
}

}  // namespace

namespace {

TEST(KrvtoolExport, AWriteErrorFailsTheExportAndLeavesNoFileOfIt) {
  TempDir dir;
  const std::string src = dir.File("20131227070943_0100_01.krv");
  playtest::MakeKrv(playtest::Small(8, 2), src);
  const std::string out = dir.File("out");
  // Files may grow to 40 KB only: a write past that fails (EFBIG).
  krvtest::RunResult r = RunShell("bash -c " + Quote("trap '' XFSZ; ulimit -f 40; exec " + Krvtool() + " export " +
                                                     Quote(src) + " --from 1 --to 7 --channels 0,1 -d " + Quote(out) +
                                                     " --sha256 --report"));
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("\"outcome\":\"failed\""), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_TRUE(Listing(out).empty());
}

}  // namespace
