// krvtool dump, probe, seek and play: exact output formats, the play report,
// exit codes, help.
#include <gtest/gtest.h>

#include <regex>

#include "krvtool_run.h"
#include "tests/krvreader/krv_test_util.h"

using namespace krvtest;

namespace {

using KrvtoolCommands = TempPaths;

// A hand-made recording whose dump is known line by line: a stream created
// mid-file, a metadata-driven table, every packet kind.
TEST_F(KrvtoolCommands, DumpPrintsTheGoldenLines) {
  Builder file, video, audio;
  file.EcmaBegin().NumEntry("start_time", 1710491400).NumEntry("duration", 2500).NumEntry("filesize", 999);
  file.Key("busnum").Str("BUS 9").End();
  video.EcmaBegin().NumEntry("width", 352).NumEntry("height", 288).NumEntry("framerate", 25);
  video.NumEntry("videodatarate", 500).NumEntry("videocodecid", 28).End();
  audio.EcmaBegin().NumEntry("audiocodecid", 69638).NumEntry("audiosamplerate", 8000).NumEntry("audiosamplesize", 16);
  audio.Key("stereo").Bool(false).End();
  Builder meta;
  meta.Raw(file.bytes()).Raw(video.bytes()).Raw(audio.bytes());
  std::string path = Temp("golden.krv");
  WriteFile(path, Concat({FileHeader(0x24), MetaTag(meta.bytes()), MediaTag(9, 0, 0, 0x10, {1, 2, 3}),
                          MediaTag(8, 1, 40000, 0xF2, {4, 5}), MediaTag(22, 8, 1000000, 0, {'h', 'i'}),
                          MediaTag(9, 0, 2147483648u, 0x20, {6})}));
  RunResult r = Krvtool({"dump", path});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "pkt 0 0 1 3 55bc801d\n"
            "pkt 1 40000 1 2 55df2374\n"
            "stream+ 2 8 d\n"
            "pkt 8 1000000 0 2 d8932aac\n"
            "pkt 0 2147483648 0 1 3b614ab8\n"
            "end -32\n"
            "stream 0 0 v 28 352 288 25 0 0 0 512000\n"
            "stream 1 1 a 69638 0 0 0 8000 1 16 0\n"
            "stream 2 8 d 0 0 0 0 0 0 0 0\n"
            "ctx 1710491400 2500000 999 BUS 9\n");
}

TEST_F(KrvtoolCommands, ProbePrintsOneJsonObject) {
  Builder file, video;
  file.EcmaBegin().NumEntry("start_time", 7).NumEntry("duration", 2500).Key("busnum").Str("\"q\\\x01\xff").End();
  video.EcmaBegin().NumEntry("width", 352).NumEntry("height", 288).NumEntry("framerate", 25);
  video.NumEntry("videodatarate", 500).End();
  Builder meta;
  meta.Raw(file.bytes()).Raw(video.bytes());
  std::string path = Temp("probe.krv");
  WriteFile(path, Concat({FileHeader(0x24), MetaTag(meta.bytes()), MediaTag(9, 0, 0, 0x10, {1})}));
  RunResult r = Krvtool({"probe", path});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"start_time\": 7, \"duration_us\": 2500000, \"bus_number\": \"\\\"q\\\\\\u0001\\ufffd\", \"video\": "
            "[{\"width\": 352, \"height\": 288, \"bitrate\": 512000, \"framerate\": 25}], \"audio\": [{\"bitrate\": 0}]}\n");

  // Layout byte 0: no streams in the probe.
  WriteFile(path, Concat({FileHeader(0), MetaTag(meta.bytes())}));
  r = Krvtool({"probe", path});
  EXPECT_EQ(r.out, "{\"start_time\": 7, \"duration_us\": 2500000, \"bus_number\": \"\\\"q\\\\\\u0001\\ufffd\", "
                   "\"video\": [], \"audio\": []}\n");
  // Layout byte 0xFF: the probe fails.
  WriteFile(path, Concat({FileHeader(0xFF), MetaTag(meta.bytes())}));
  r = Krvtool({"probe", path});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
}

// An AVI file goes through the catalogue's own AVI probe, so the window's
// AVI rows have the same oracle as its KRV rows.
TEST_F(KrvtoolCommands, ProbeOfAviFilesIsThePropertiesOracle) {
  const std::string avi = Temp("20240315083000_0011_03.avi");
  RunResult made = RunShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=15 -t 2 "
                            "-c:v libx264 -preset ultrafast -bf 0 " + Quote(avi));
  ASSERT_EQ(made.code, 0) << made.err;
  RunResult r = Krvtool({"probe", avi});
  EXPECT_EQ(r.code, 0) << r.err;
  ASSERT_TRUE(std::regex_match(r.out,
                               std::regex("\\{\"start_time\": 0, \"duration_us\": 2000000, \"bus_number\": \"\", "
                                          "\"video\": \\[\\{\"width\": 320, \"height\": 240, \"bitrate\": ([0-9]+), "
                                          "\"framerate\": 15\\}\\], \"audio\": \\[\\]\\}\n")))
      << r.out;  // (the bit rate is what the file's header declares; ffmpeg's writer declares none)
  // Not an AVI inside: no facts, as the window lists such a file.
  const std::string junk = Temp("junk.AVI");
  WriteFile(junk, Bytes(700, 'j'));
  r = Krvtool({"probe", junk});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "{\"start_time\": 0, \"duration_us\": 0, \"bus_number\": \"\", \"video\": [], \"audio\": []}\n");
  // A missing file.
  r = Krvtool({"probe", Temp("missing.avi")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
}

TEST_F(KrvtoolCommands, ExitCodesAndHelp) {
  for (const char* cmd : {"dump", "probe", "seek", "synth", "synth-folder", "play"}) {
    RunResult h = Krvtool({cmd, "--help"});
    EXPECT_EQ(h.code, 0) << cmd;
    EXPECT_NE(h.out.find(std::string("usage: krvtool ") + cmd), std::string::npos) << cmd;
    RunResult u = Krvtool({cmd});
    EXPECT_EQ(u.code, 2) << cmd;
    EXPECT_NE(u.err.find("usage:"), std::string::npos) << cmd;
  }
  for (const char* cmd : {"dump", "probe"}) {
    RunResult r = Krvtool({cmd, "/no/such/file.krv"});
    EXPECT_EQ(r.code, 1) << cmd;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Krvtool({"seek", "/no/such/file.krv", "3"}).code, 1);
  EXPECT_EQ(Krvtool({"seek", "x.krv", "abc"}).code, 2);
  EXPECT_EQ(Krvtool({"seek", "x.krv", "3", "--bogus"}).code, 2);
  EXPECT_EQ(Krvtool({"dump", "a.krv", "b.krv"}).code, 2);
  EXPECT_EQ(Krvtool({"synth", Temp("bad.krv"), "--size", "17x16"}).code, 2);
  EXPECT_EQ(Krvtool({"synth", Temp("bad.krv"), "--channels", "5"}).code, 2);
  EXPECT_EQ(Krvtool({"synth", Temp("bad.krv"), "--start", "2024"}).code, 2);
  EXPECT_EQ(Krvtool({"synth", Temp("bad.krv"), "--audio", "mp3"}).code, 2);
  RunResult w = Krvtool({"synth", "/no/such/dir/out.krv", "--seconds", "1", "--size", "32x32"});
  EXPECT_EQ(w.code, 1);
  EXPECT_EQ(std::count(w.err.begin(), w.err.end(), '\n'), 1) << w.err;
  EXPECT_EQ(Krvtool({"synth-folder", "/proc/no/such", "--size", "32x32"}).code, 1);
  EXPECT_EQ(Krvtool({"play", "x.krv", "--speed", "3"}).code, 2);
  EXPECT_EQ(Krvtool({"play", "x.krv", "--speed"}).code, 2);
  EXPECT_EQ(Krvtool({"play", "x.krv", "--pause-at", "1"}).code, 2);
  EXPECT_EQ(Krvtool({"play", "x.krv", "--snapshot", "5@1"}).code, 2);
  EXPECT_EQ(Krvtool({"play", "x.krv", "20231114221320_1000_01.avi"}).code, 2);
  EXPECT_EQ(Krvtool({"play", "x.krv", "--bogus"}).code, 2);
  RunResult missing = Krvtool({"play", "/no/such/nothing.krv"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
  EXPECT_EQ(Krvtool({}).code, 2);
  EXPECT_EQ(Krvtool({"--help"}).code, 0);
}

TEST_F(KrvtoolCommands, SeekPrintsWhereItLandedAndTheNextPacket) {
  std::string path = Temp("seek.krv");
  RunResult s = Krvtool({"synth", path, "--seconds", "6", "--size", "32x32", "--gop", "25", "--channels", "1",
                         "--audio", "none", "--no-data", "--start", "20240315083000"});
  ASSERT_EQ(s.code, 0) << s.err;
  std::regex found(R"(found 1 pos (\d+)\npkt 0 (\d+) 1 \d+ [0-9a-f]{8}\n)");
  std::smatch m;
  for (const char* mode : {"", "--exact"}) {
    std::vector<std::string> args = {"seek", path, "3.5"};
    if (*mode) args.push_back(mode);
    RunResult r = Krvtool(args);
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(std::regex_match(r.out, m, found)) << r.out;
    EXPECT_EQ(m[2], "3000000") << mode;
  }
  RunResult zero = Krvtool({"seek", path, "0"});
  EXPECT_EQ(zero.Lines().at(0), "found 1 pos 0");
  EXPECT_TRUE(zero.Lines().at(1).rfind("pkt 0 0 1 ", 0) == 0) << zero.out;
  RunResult early = Krvtool({"seek", path, "-1", "--exact"});
  EXPECT_TRUE(early.Lines().at(0).rfind("found 0 pos ", 0) == 0) << early.out;
  EXPECT_TRUE(early.Lines().at(1).rfind("pkt 0 40000 0 ", 0) == 0) << "reading goes on: " << early.out;
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

int64_t Field(const std::string& json, const std::string& key) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + key + "\": (-?[0-9]+)"))) return -999;
  return std::stoll(m[1]);
}

// A recording of `seconds` at 176x144 in folder `dir`, named as the recorder
// names it.
std::string PlayRecording(const std::string& dir, int seconds) {
  std::filesystem::create_directories(dir);
  const std::string krv = dir + "/20231114221320_1000.krv";
  RunResult s = Krvtool({"synth", krv, "--seconds", std::to_string(seconds), "--size", "176x144", "--start",
                         "20231114221320"});
  EXPECT_EQ(s.code, 0) << s.err;
  return krv;
}

// A file that opens but holds nothing to play (no start code anywhere) still
// plays to its end, and the reader says why nothing was shown.
TEST_F(KrvtoolCommands, PlayOfAFileWithNothingToPlaySaysSo) {
  const std::string path = Temp("garbage.krv");
  { std::ofstream(path, std::ios::binary) << std::string(4096, 'x'); }
  RunResult r = Krvtool({"play", path, "--speed", "256"});
  EXPECT_EQ(r.code, 0) << r.err;
  const std::string line = "corvane: reader: no packet to play in " + path + "\n";
  const size_t at = r.err.find(line);
  EXPECT_NE(at, std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(line, at + 1), std::string::npos) << "said more than once: " << r.err;
}

// The report of a whole headless playback: every picture, the play time and
// the vehicle records, as one JSON line.
TEST_F(KrvtoolCommands, PlayReportsEveryPictureThePlayTimeAndTheRecords) {
  const std::string krv = PlayRecording(Temp("play2"), 2);
  RunResult r = Krvtool({"play", krv, "--speed", "32", "--report"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string& j = r.out;
  EXPECT_EQ(Occurrences(j, "\"pictures\": 50,"), 4) << j;
  EXPECT_EQ(Occurrences(j, "\"out_of_order\": 0}"), 4) << j;
  EXPECT_NE(j.find("\"play_time\": [[0, -1], [2, 0], [2, 1], [2, -3]]"), std::string::npos) << j;
  EXPECT_NE(j.find("\"ended\": true"), std::string::npos);
  EXPECT_EQ(Field(j, "gps"), 2);
  EXPECT_EQ(Field(j, "gsensor"), 20);
  EXPECT_EQ(Field(j, "other_sensors"), 2);
  EXPECT_EQ(Field(j, "seek"), 0);
  EXPECT_EQ(Field(j, "clear"), 0);
  EXPECT_EQ(Field(j, "video_skipped"), 0);
  EXPECT_GT(Field(j, "audio_passed"), 0);
  EXPECT_GT(Field(j, "intervals"), 0);
  EXPECT_NE(j.find("\"pacing\": {"), std::string::npos);
  EXPECT_NE(j.find("\"wall_ms\": "), std::string::npos);
  EXPECT_NE(j.find("\"cpu_ms\": "), std::string::npos);
  EXPECT_EQ(j.back(), '\n');
  EXPECT_EQ(Occurrences(j, "\n"), 1);
}

// A pause in the middle, while the reader waits in front of full queues:
// resuming loses no picture, and the report gives the wall and CPU time of
// the pause itself.
TEST_F(KrvtoolCommands, PlayPausedAndResumedPlaysOnAndReportsThePause) {
  const std::string krv = PlayRecording(Temp("play-pause"), 4);
  for (int round = 0; round < 3; ++round) {
    RunResult r = Krvtool({"play", krv, "--speed", "32", "--pause-at", "1", "--resume-after", "300", "--report"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(Occurrences(j, "\"pictures\": 100,"), 4) << j;
    EXPECT_EQ(Occurrences(j, "\"out_of_order\": 0}"), 4) << j;
    EXPECT_NE(j.find("\"play_time\": [[0, -1], [4, 0], [4, 1], [4, 2], [4, 3], [4, -3]]"), std::string::npos) << j;
    EXPECT_NE(j.find("\"ended\": true"), std::string::npos);
    EXPECT_EQ(Field(j, "gsensor"), 40);
    EXPECT_GE(Field(j, "paused_wall_ms"), 300) << j;
    EXPECT_GE(Field(j, "paused_cpu_ms"), 0) << j;
    EXPECT_GE(Field(j, "wall_ms"), Field(j, "paused_wall_ms")) << j;
  }
  // Paused in the last second, when the reader has already read to the end
  // of the file, resuming pushes the end again: it is reported once (the
  // window advances to the next recording once per end).
  RunResult last = Krvtool({"play", krv, "--pause-at", "3", "--resume-after", "300", "--report"});
  ASSERT_EQ(last.code, 0) << last.err;
  EXPECT_NE(last.out.find("\"play_time\": [[0, -1], [4, 0], [4, 1], [4, 2], [4, 3], [4, -3]]"), std::string::npos)
      << last.out;
  // Without a pause both are 0.
  RunResult plain = Krvtool({"play", krv, "--speed", "32", "--report"});
  ASSERT_EQ(plain.code, 0) << plain.err;
  EXPECT_EQ(Field(plain.out, "paused_wall_ms"), 0) << plain.out;
  EXPECT_EQ(Field(plain.out, "paused_cpu_ms"), 0) << plain.out;
}

// Everything of the report that does not depend on timing, as the headless
// player before the one player gave it for this recording.
TEST_F(KrvtoolCommands, PlayReportsTheSameTimingFreeFieldsAsBefore) {
  const std::string krv = PlayRecording(Temp("play3"), 3);
  RunResult r = Krvtool({"play", krv, "--speed", "32", "--report"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string& j = r.out;
  for (const char* part :
       {"\"kind\": \"krv\", \"speed\": 32, \"second_play\": false, \"ended\": true",
        "{\"channel\": 0, \"pictures\": 75, \"first_dts\": 0, \"last_dts\": 2960, \"out_of_order\": 0}",
        "{\"channel\": 3, \"pictures\": 75, \"first_dts\": 0, \"last_dts\": 2960, \"out_of_order\": 0}",
        "\"play_time\": [[0, -1], [3, 0], [3, 1], [3, 2], [3, -3]]",
        "\"vehicle\": {\"gps\": 3, \"fixes_drawn\": 3, \"seek\": 0, \"gsensor\": 30, \"other_sensors\": 3, "
        "\"samples\": 33, \"clear\": 0, \"broken\": 0}",
        "\"reader\": {\"opened\": 1, \"seeks\": 0, \"video_passed\": 300, \"video_skipped\": 0, "
        "\"audio_passed\": 5, \"clock_times\": 75, \"data_records\": 36}",
        "\"snapshots\": [], \"snapshot_failures\": 0"})
    EXPECT_NE(j.find(part), std::string::npos) << part << "\n" << j;
}

TEST_F(KrvtoolCommands, PlaySeekSnapshotAndUntil) {
  const std::string krv = PlayRecording(Temp("play4"), 4);
  const std::string home = Temp("home");
  std::filesystem::create_directories(home);
  RunResult r = RunShell("HOME=" + Quote(home) + " " + Quote(KrvtoolPath()) + " play " + Quote(krv) +
                         " --speed 32 --seek 2 --snapshot 0@2 --until 3 --report");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Field(r.out, "seeks"), 1);
  EXPECT_EQ(Field(r.out, "seek"), 1);   // "Seek" to the map
  EXPECT_EQ(Field(r.out, "clear"), 1);  // "Clear" to the charts
  EXPECT_NE(r.out.find("\"ended\": false"), std::string::npos) << r.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.out, m, std::regex("\"snapshots\": \\[\"([^\"]+)\"\\]"))) << r.out;
  const std::string shot = m[1];
  EXPECT_EQ(shot.rfind(home + "/KRSnap/1/", 0), 0u) << shot;
  EXPECT_TRUE(std::filesystem::exists(shot));
}

}  // namespace
