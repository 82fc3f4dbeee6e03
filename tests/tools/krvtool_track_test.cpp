// krvtool track and events on synthetic recordings: the GPX checked by
// xmllint for well-formedness and its structure read back with XPath, KML
// and CSV, the G event that `synth --g-event` plants, exit codes.
#include <gtest/gtest.h>

#include "krvtool_run.h"

using namespace krvtest;

namespace {

class KrvtoolTrack : public TempPaths {
 protected:
  std::string Synth(const std::string& name, const std::vector<std::string>& extra) {
    const std::string path = Temp(name);
    std::vector<std::string> args = {"synth", path, "--seconds", "12", "--channels", "1", "--start", "20240315083000"};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult r = Krvtool(args);
    EXPECT_EQ(r.code, 0) << r.err;
    return path;
  }
  // xmllint --xpath on a file, the result as text.
  std::string XPath(const std::string& file, const std::string& expr) {
    std::string out = RunShell("xmllint --xpath " + Quote(expr) + " " + Quote(file)).out;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
};

TEST_F(KrvtoolTrack, GpxHoldsOneTrackOfEveryUsableFixWithTimesAndExtensions) {
  const std::string rec = Synth("t.krv", {});
  RunResult r = Krvtool({"track", rec, "--gpx", "--utc-offset", "8"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string gpx = Temp("t.gpx");
  {
    std::ofstream f(gpx);
    f << r.out;
  }
  RunResult lint = RunShell("xmllint --noout " + Quote(gpx));
  EXPECT_EQ(lint.code, 0) << lint.err;
  const std::string ns = "*[local-name()='";
  EXPECT_EQ(XPath(gpx, "string(/" + ns + "gpx']/@version)"), "1.1");
  EXPECT_EQ(XPath(gpx, "count(//" + ns + "trk'])"), "1");
  EXPECT_EQ(XPath(gpx, "count(//" + ns + "trkseg'])"), "1");
  EXPECT_EQ(XPath(gpx, "count(//" + ns + "trkpt'])"), "12");
  EXPECT_EQ(XPath(gpx, "string(//" + ns + "trk']/" + ns + "name'])"), "\xE7\xB2\xA4" "A.12345");
  // The recorder's clock at UTC+8: 08:30 local is 00:30 UTC.
  EXPECT_EQ(XPath(gpx, "string((//" + ns + "trkpt'])[1]/" + ns + "time'])"), "2024-03-15T00:30:00.000Z");
  EXPECT_EQ(XPath(gpx, "string((//" + ns + "trkpt'])[12]/" + ns + "time'])"), "2024-03-15T00:30:11.000Z");
  EXPECT_EQ(XPath(gpx, "string((//" + ns + "trkpt'])[1]/" + ns + "fix'])"), "3d");
  EXPECT_EQ(XPath(gpx, "string((//" + ns + "trkpt'])[1]/" + ns + "sat'])"), "8");
  // Child order of a point as GPX 1.1 fixes it: ele, time, fix, sat, extensions.
  EXPECT_EQ(XPath(gpx, "concat(local-name((//" + ns + "trkpt'])[1]/*[1]), ',', local-name((//" + ns +
                           "trkpt'])[1]/*[5]))"),
            "ele,extensions");
  EXPECT_NE(XPath(gpx, "string((//" + ns + "speed'])[1])"), "");
  EXPECT_NE(XPath(gpx, "string((//" + ns + "course'])[1])"), "");
  const std::string lat = XPath(gpx, "string((//" + ns + "trkpt'])[1]/@lat)");
  EXPECT_GT(std::stod(lat), 23.0);
  EXPECT_LT(std::stod(lat), 23.3);
}

TEST_F(KrvtoolTrack, KmlAndCsvCarryTheSamePoints) {
  const std::string rec = Synth("k.krv", {});
  RunResult kml = Krvtool({"track", rec, "--kml"});
  ASSERT_EQ(kml.code, 0) << kml.err;
  const std::string kmlFile = Temp("k.kml");
  {
    std::ofstream f(kmlFile);
    f << kml.out;
  }
  EXPECT_EQ(RunShell("xmllint --noout " + Quote(kmlFile)).code, 0);
  EXPECT_EQ(XPath(kmlFile, "count(//*[local-name()='LineString'])"), "1");
  RunResult csv = Krvtool({"track", rec, "--csv"});
  ASSERT_EQ(csv.code, 0) << csv.err;
  const auto lines = csv.Lines();
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[0], "id,segment,time,lat,lon,alt,fix,sat_used,sat_visible,speed,course");
  EXPECT_EQ(lines[1].rfind("\"\xE7\xB2\xA4" "A.12345\",0,2024-03-15T08:30:00.000Z,", 0), 0u) << lines[1];
  // Without vehicle records there is no track.
  RunResult none = Krvtool({"track", Synth("n.krv", {"--no-data"}), "--csv"});
  EXPECT_EQ(none.code, 0);
  EXPECT_EQ(none.Lines().size(), 1u);
}

TEST_F(KrvtoolTrack, EventsFindThePlantedPeakOnce) {
  const std::string rec = Synth("g.krv", {"--g-event", "5:1.2"});
  RunResult r = Krvtool({"events", rec});
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_EQ(r.Lines().size(), 1u) << r.out;
  EXPECT_EQ(r.Lines()[0], "5.000 1.200 1.200 0.000 1.000");
  RunResult high = Krvtool({"events", rec, "--threshold", "1.5"});
  EXPECT_EQ(high.code, 0);
  EXPECT_TRUE(high.out.empty());
  RunResult quiet = Krvtool({"events", Synth("q.krv", {})});
  EXPECT_EQ(quiet.code, 0);
  EXPECT_TRUE(quiet.out.empty()) << "the simulated drive stays under 0.5 G";
}

TEST_F(KrvtoolTrack, ExitCodes) {
  EXPECT_EQ(Krvtool({"track", "/nonexistent/x.krv"}).code, 1);
  EXPECT_EQ(Krvtool({"events", "/nonexistent/x.krv"}).code, 1);
  EXPECT_EQ(Krvtool({"track"}).code, 2);
  EXPECT_EQ(Krvtool({"track", "a.krv", "--svg"}).code, 2);
  EXPECT_EQ(Krvtool({"events", "a.krv", "--threshold", "-1"}).code, 2);
  EXPECT_EQ(Krvtool({"synth", Temp("x.krv"), "--g-event", "5"}).code, 2);
}

}  // namespace
