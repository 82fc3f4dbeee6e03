// krvtool track FILE [--gpx|--kml|--csv] [--utc-offset H]: the vehicle's
// track from the GPS records of a recording.
#include <cmath>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "command.h"
#include "core/text_codec.h"
#include "krv_session.h"
#include "vehicle/record_scan.h"
#include "vehicle/vehicle_state.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool track FILE [--gpx | --kml | --csv] [--utc-offset H]\n"
    "\n"
    "Reads the GPS records of FILE and writes the fixes the map draws (mode above\n"
    "1 and up to 5, more than 3 satellites, a position on the globe) as one track\n"
    "per vehicle identifier, in the order of the file. A track starts a new\n"
    "segment after more than 10 s without a fix, or when the time goes back.\n"
    "Each point has its time in UTC (the recording's start plus the record's time,\n"
    "less --utc-offset hours: the offset of the recorder's clock from UTC, default\n"
    "0), elevation, fix and satellites.\n"
    "  --gpx  GPX 1.1 (the default); speed and course in <extensions>\n"
    "  --kml  KML 2.2, one placemark per vehicle, one line per segment\n"
    "  --csv  id,segment,time,lat,lon,alt,fix,sat_used,sat_visible,speed,course\n"
    "Exit 0; 1 when FILE cannot be read; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"track", "write the GPS track of a KRV file as GPX, KML or CSV", kUsage, run};
KRVTOOL_COMMAND(kCommand);

constexpr int64_t kSegmentGapMs = 10000;

struct Point {
  int64_t timeMs;  // recording time
  double lat, lon, alt, speed, course, mode;
  int satUsed, satVisible;
};

struct Track {
  std::string id;  // UTF-8
  std::vector<std::vector<Point>> segments;
  int64_t lastMs = 0;
};

// Text for XML: the five escapes; control characters dropped.
std::string Xml(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (c >= 0x20 && c != 0x7F) out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Csv(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += "\"\"";
    else if (static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out + "\"";
}

std::string IsoTime(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm u {};
  char text[40] = "1970-01-01T00:00:00Z";
  if (gmtime_r(&t, &u) && u.tm_year + 1900 >= 0 && u.tm_year + 1900 <= 9999)
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &u);
  return text;
}

std::string PointTime(const Point& p, int64_t start, double offsetHours) {
  // The recorder's clock runs at UTC + offset.
  const int64_t s = start + p.timeMs / 1000 - static_cast<int64_t>(std::llround(offsetHours * 3600));
  char frac[8];
  std::snprintf(frac, sizeof frac, ".%03d", static_cast<int>(p.timeMs % 1000));
  std::string t = IsoTime(s);
  return t.substr(0, t.size() - 1) + frac + "Z";
}

const char* Fix(double mode) { return mode >= 3 ? "3d" : "2d"; }

void WriteGpx(const std::vector<Track>& tracks, int64_t start, double offset) {
  std::printf(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"krvtool\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
      "     xmlns:corvane=\"urn:corvane:gpx:1\"\n"
      "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
      "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n");
  for (const Track& t : tracks) {
    std::printf("  <trk>\n    <name>%s</name>\n", Xml(t.id).c_str());
    for (const auto& seg : t.segments) {
      std::printf("    <trkseg>\n");
      for (const Point& p : seg) {
        std::printf("      <trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%.1f</ele><time>%s</time><fix>%s</fix><sat>%d</sat>",
                    p.lat, p.lon, p.alt, PointTime(p, start, offset).c_str(), Fix(p.mode), p.satUsed);
        std::printf("<extensions><corvane:speed>%.3f</corvane:speed><corvane:course>%.3f</corvane:course>"
                    "</extensions></trkpt>\n",
                    p.speed, p.course);
      }
      std::printf("    </trkseg>\n");
    }
    std::printf("  </trk>\n");
  }
  std::printf("</gpx>\n");
}

void WriteKml(const std::vector<Track>& tracks) {
  std::printf(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n");
  for (const Track& t : tracks) {
    std::printf("    <Placemark>\n      <name>%s</name>\n      <MultiGeometry>\n", Xml(t.id).c_str());
    for (const auto& seg : t.segments) {
      std::printf("        <LineString><altitudeMode>absolute</altitudeMode><coordinates>");
      for (size_t i = 0; i < seg.size(); ++i)
        std::printf("%s%.6f,%.6f,%.1f", i ? " " : "", seg[i].lon, seg[i].lat, seg[i].alt);
      std::printf("</coordinates></LineString>\n");
    }
    std::printf("      </MultiGeometry>\n    </Placemark>\n");
  }
  std::printf("  </Document>\n</kml>\n");
}

void WriteCsv(const std::vector<Track>& tracks, int64_t start, double offset) {
  std::printf("id,segment,time,lat,lon,alt,fix,sat_used,sat_visible,speed,course\n");
  for (const Track& t : tracks) {
    for (size_t s = 0; s < t.segments.size(); ++s) {
      for (const Point& p : t.segments[s])
        std::printf("%s,%zu,%s,%.6f,%.6f,%.1f,%s,%d,%d,%.3f,%.3f\n", Csv(t.id).c_str(), s,
                    PointTime(p, start, offset).c_str(), p.lat, p.lon, p.alt, Fix(p.mode), p.satUsed, p.satVisible,
                    p.speed, p.course);
    }
  }
}

int run(const std::vector<std::string>& args) {
  std::string file;
  char format = 'g';
  double offset = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--gpx") format = 'g';
    else if (a == "--kml") format = 'k';
    else if (a == "--csv") format = 'c';
    else if (a == "--utc-offset") {
      if (i + 1 >= args.size() || !ParseSeconds(args[++i], &offset) || std::fabs(offset) > 14)
        return usageError(kCommand, "--utc-offset needs hours between -14 and 14");
    } else if (!a.empty() && a[0] == '-') {
      return usageError(kCommand, "unknown option " + a);
    } else if (file.empty()) {
      file = a;
    } else {
      return usageError(kCommand, "expects one FILE");
    }
  }
  if (file.empty()) return usageError(kCommand, "expects one FILE");

  std::vector<Track> tracks;
  std::map<std::string, size_t> byId;
  vehicle::GpsState gps;
  const vehicle::ScannedRecording rec = vehicle::ScanDataRecords(file, [&](int64_t ms, const unsigned char* d, int n) {
    char name[vehicle::kAmfStringLimit];
    if (!vehicle::WalkRecord(d, n, &gps, name) || std::strcmp(name, vehicle::kGpsName) != 0) return;
    if (!gps.UsableFix()) return;
    if (!(gps.lat >= -90 && gps.lat <= 90 && gps.lon >= -180 && gps.lon < 180)) return;
    const std::string id = corvane::DecodeForDisplay(gps.carInfo);
    auto it = byId.find(id);
    if (it == byId.end()) {
      it = byId.emplace(id, tracks.size()).first;
      tracks.push_back(Track{id, {}, 0});
    }
    Track& t = tracks[it->second];
    if (t.segments.empty() || ms - t.lastMs > kSegmentGapMs || ms < t.lastMs) t.segments.emplace_back();
    const double alt = std::isfinite(gps.alt) ? gps.alt : 0;
    const double speed = std::isfinite(gps.speed) ? gps.speed : 0;
    const double course = std::isfinite(gps.course) ? gps.course : 0;
    t.segments.back().push_back(Point{ms, gps.lat, gps.lon, alt, speed, course, gps.mode, gps.satUsed, gps.satVisible});
    t.lastMs = ms;
  });
  if (!rec.opened) {
    std::fprintf(stderr, "krvtool track: cannot open %s\n", file.c_str());
    return kFileError;
  }
  if (format == 'g') WriteGpx(tracks, rec.startTime, offset);
  else if (format == 'k') WriteKml(tracks);
  else WriteCsv(tracks, rec.startTime, offset);
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
