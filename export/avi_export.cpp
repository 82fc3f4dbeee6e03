#include "export/avi_export.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include "krvreader/krv.h"
#include "media/ac_log.h"
#include "vehicle/amf_record.h"
#include "vehicle/vehicle_state.h"

namespace avexport {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxPathBytes = 1023;
constexpr int kHashChunkBytes = 1 << 20;

// A path compared with another: absolute, with "." and ".." resolved and
// symbolic links followed as far as they exist.
std::string samePathKey(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) p = fs::absolute(path, ec).lexically_normal();
  return p.string();
}

// A KRV video rate the outputs can use; the writer stores 1,000,000 for a
// rate it was not given, and 0 means none.
bool usableRate(int fps) { return fps >= 1 && fps <= 1000; }

}  // namespace

const char* OutcomeName(ExportResult::Outcome outcome) {
  switch (outcome) {
    case ExportResult::Outcome::kNone: return "none";
    case ExportResult::Outcome::kRunning: return "running";
    case ExportResult::Outcome::kFinished: return "finished";
    case ExportResult::Outcome::kStoppedEarly: return "stopped-early";
    case ExportResult::Outcome::kFailed: return "failed";
    case ExportResult::Outcome::kCancelled: return "cancelled";
  }
  return "none";
}

AviExport::AviExport() : gps_(std::make_unique<vehicle::GpsState>()) {}

AviExport::~AviExport() { Cancel(); }

void AviExport::SetCallbacks(const Callbacks& callbacks) {
  std::lock_guard<std::mutex> lock(mutex_);
  callbacks_ = callbacks;
}

std::string AviExport::Check(const ExportRequest& request, const std::vector<std::string>& sources) {
  if (request.endSecond < request.startSecond) return "The end of the stretch is before its start.";
  std::vector<std::string> keys;
  for (const std::string& sourcePath : sources)
    if (!sourcePath.empty()) keys.push_back(samePathKey(sourcePath));
  const size_t sourceCount = keys.size();
  int named = 0;
  for (int c = 0; c < 4; ++c) {
    const std::string& out = request.outputs[c];
    if (out.empty()) continue;
    ++named;
    if (out.size() > kMaxPathBytes) return "The output path is longer than 1023 bytes: " + out.substr(0, 64) + "...";
    const std::string key = samePathKey(out);
    for (size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] != key) continue;
      if (i < sourceCount) return "The output file is the recording being read: " + out;
      return "The same output file is named for two channels: " + out;
    }
    keys.push_back(key);
  }
  if (named == 0) return "Please select the channel(s)";
  return "";
}

void AviExport::Begin(const ExportRequest& request) {
  Cancel();
  std::lock_guard<std::mutex> lock(mutex_);
  request_ = request;
  for (Channel& ch : channels_) {
    ch.seen = false;
    ch.done = false;
  }
  sidecars_.clear();
  result_ = ExportResult{};
  result_.outcome = ExportResult::Outcome::kRunning;
  havePercent_ = false;
  tellProgress_ = false;
  lastPercent_ = 0;
  *gps_ = vehicle::GpsState();
  fixes_.clear();
  if (request_.gpx) {
    // A fix a second is the recorders' rate; a faster one grows the list.
    const int64_t seconds = static_cast<int64_t>(request_.endSecond) - request_.startSecond + 2;
    fixes_.reserve(static_cast<size_t>(std::min<int64_t>(seconds * 2, 1 << 20)));
  }
  cancel_.store(false);
  armed_.store(false);
  active_.store(true);
}

void AviExport::Arm() {
  if (active_.load()) armed_.store(true);
}

void AviExport::NoteProgress(int64_t timeMs) {
  const int64_t second = timeMs / 1000;
  const int64_t span = static_cast<int64_t>(request_.endSecond) - request_.startSecond;
  int percent;
  if (span <= 0)
    percent = second >= request_.endSecond ? 100 : 0;
  else
    percent = static_cast<int>((second - request_.startSecond) * 100 / span);
  if (havePercent_ && percent == lastPercent_) return;
  havePercent_ = true;
  lastPercent_ = percent;
  result_.progress.push_back(percent);
  tellProgress_ = true;
}

void AviExport::NoteGps(const SourcePacket& p) {
  char name[vehicle::kAmfStringLimit] = {};
  if (!vehicle::WalkRecord(p.data, p.size, gps_.get(), name)) return;
  if (std::strcmp(name, vehicle::kGpsName) != 0 || !gps_->UsableFix()) return;
  if (p.timeMs < static_cast<int64_t>(request_.startSecond) * 1000 ||
      p.timeMs > static_cast<int64_t>(request_.endSecond) * 1000)
    return;
  const vehicle::GpsState& g = *gps_;
  if (!std::isfinite(g.lat) || !std::isfinite(g.lon) || g.lat < -90 || g.lat > 90 || g.lon < -180 || g.lon > 180)
    return;
  fixes_.push_back(Fix{g.lat, g.lon, std::isfinite(g.alt) ? g.alt : 0.0, request_.recordingStart * 1000 + p.timeMs});
}

bool AviExport::OpenChannel(int c, const SourcePacket& p, std::string* error) {
  int num = 1, den = 25;
  bool known = true;
  if (p.fileKind == 1) {
    if (p.timeBase.num > 0 && p.timeBase.den > 0) {
      num = p.timeBase.num;
      den = p.timeBase.den;
    }
  } else if (usableRate(p.framesPerSecond)) {
    den = p.framesPerSecond;
  } else {
    // No rate in the recording: the pictures' own times give it at the end.
    known = false;
  }
  return channels_[c].output.Open(request_.outputs[c], p.width, p.height, num, den, known, error);
}

bool AviExport::HandlePacket(const SourcePacket& p, std::string* error, std::string* failedPath) {
  if (p.streamKind == krv::KIND_DATA) {
    if (request_.gpx && p.data && p.size > 0) NoteGps(p);
    return true;
  }
  const int c = p.channel;
  if (c < 0 || c > 3 || request_.outputs[c].empty()) return true;
  Channel& ch = channels_[c];
  if (ch.done || !p.data || p.size <= 0) return true;
  const int64_t endMs = static_cast<int64_t>(request_.endSecond) * 1000;
  if (p.streamKind == krv::KIND_VIDEO) {
    ch.seen = true;
    if (!ch.output.IsOpen()) {
      if (!p.key) {
        // No key frame of this channel between the seek point and the end:
        // it gets no file.
        if (p.timeMs >= endMs) ch.done = true;
        return true;
      }
      if (!OpenChannel(c, p, error)) {
        *failedPath = request_.outputs[c];
        return false;
      }
    }
    if (!ch.output.WriteVideo(p.data, p.size, p.key, p.timeMs, error)) {
      *failedPath = request_.outputs[c];
      return false;
    }
    NoteProgress(p.timeMs);
    if (p.timeMs >= endMs) ch.done = true;
    return true;
  }
  if (p.streamKind == krv::KIND_AUDIO) {
    // Sound before the channel's first picture is left out; only Microsoft
    // ADPCM goes into the ADPCM stream (other sound would play as noise).
    if (!ch.output.IsOpen() || p.codecId != krv::CODEC_ADPCM_MS) return true;
    if (!ch.output.WriteAudio(p.data, p.size, error)) {
      *failedPath = request_.outputs[c];
      return false;
    }
  }
  return true;
}

// The export ends when a channel has written its end packet and every
// other named channel has too, or has shown no video since the seek.
bool AviExport::AllDone() const {
  bool any = false;
  for (int c = 0; c < 4; ++c) {
    if (request_.outputs[c].empty()) continue;
    const Channel& ch = channels_[c];
    if (ch.done) any = true;
    else if (ch.seen) return false;
  }
  return any;
}

bool AviExport::Packet(const SourcePacket& packet) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!active_.load()) {
    // A request word without an export behind it (one that was cancelled,
    // or set without Begin): the reader plays on.
    if (endFlag_) endFlag_->store(0);
    return false;
  }
  if (!armed_.load()) return true;
  std::string error, failedPath;
  tellProgress_ = false;
  if (!HandlePacket(packet, &error, &failedPath)) {
    Fail(failedPath, error);
    Ended(lock);
    return false;
  }
  if (AllDone()) {
    FinishAll(ExportResult::Outcome::kFinished);
    Ended(lock);
    return false;
  }
  const bool tell = tellProgress_;
  tellProgress_ = false;
  if (tell && callbacks_.progress) {
    // Told without the lock: a slow receiver holds up the reader, not a cancel.
    const auto progress = callbacks_.progress;
    const int percent = lastPercent_;
    lock.unlock();
    progress(percent);
  }
  return true;
}

void AviExport::SourceEnded() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!active_.load()) return;
  FinishAll(ExportResult::Outcome::kStoppedEarly);
  Ended(lock);
}

bool AviExport::Cancel() {
  cancel_.store(true);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!active_.load()) {
    cancel_.store(false);
    return false;
  }
  RemoveAll();
  result_.outcome = ExportResult::Outcome::kCancelled;
  Ended(lock);
  return true;
}

ExportResult AviExport::LastResult() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

void AviExport::Ended(std::unique_lock<std::mutex>& lock) {
  if (endFlag_) endFlag_->store(0);
  active_.store(false);
  armed_.store(false);
  cancel_.store(false);
  const ExportResult result = result_;
  const auto finished = callbacks_.finished;
  const auto progress = callbacks_.progress;
  const bool tellLast = tellProgress_;
  tellProgress_ = false;
  lock.unlock();
  if (tellLast && progress && !result.progress.empty()) progress(result.progress.back());
  if (finished) finished(result);
}

void AviExport::RemoveAll() {
  for (Channel& ch : channels_) ch.output.Abort();
  for (const std::string& f : result_.files) std::remove(f.c_str());
  for (const std::string& f : sidecars_) std::remove(f.c_str());
  result_.files.clear();
  sidecars_.clear();
}

void AviExport::Fail(const std::string& path, const std::string& reason) {
  media::LogLine(media::LogLevel::kError, "export", "%s", reason.c_str());
  RemoveAll();
  result_.outcome = ExportResult::Outcome::kFailed;
  result_.failedPath = path;
  result_.reason = reason;
}

void AviExport::FinishAll(ExportResult::Outcome outcome) {
  result_.channelsWithoutPictures.clear();
  for (int c = 0; c < 4; ++c) {
    AviOutput& out = channels_[c].output;
    result_.videoPackets[c] = out.VideoPackets();
    result_.audioPackets[c] = out.AudioPackets();
    result_.firstVideoMs[c] = out.FirstVideoMs();
    result_.lastVideoMs[c] = out.LastVideoMs();
    if (request_.outputs[c].empty()) continue;
    if (!out.IsOpen()) {
      result_.channelsWithoutPictures.push_back(c);
      continue;
    }
    std::string error;
    if (cancel_.load() || !out.Finish(&error)) {
      if (cancel_.load()) {
        RemoveAll();
        result_.outcome = ExportResult::Outcome::kCancelled;
        return;
      }
      Fail(request_.outputs[c], error);
      return;
    }
    result_.files.push_back(request_.outputs[c]);
  }
  std::string error;
  if (request_.gpx && !result_.files.empty() && !WriteGpx(&error)) {
    Fail(SidecarBase() + ".gpx", error);
    return;
  }
  if (request_.sha256 && !result_.files.empty() && !WriteManifest(&error)) {
    if (cancel_.load()) {
      RemoveAll();
      result_.outcome = ExportResult::Outcome::kCancelled;
      return;
    }
    Fail(SidecarBase() + ".sha256", error);
    return;
  }
  for (const std::string& s : sidecars_) result_.files.push_back(s);
  result_.gpsFixes = static_cast<int>(fixes_.size());
  result_.outcome = outcome;
}

std::string AviExport::SidecarBase() const {
  if (!request_.sidecarBase.empty()) return request_.sidecarBase;
  for (const std::string& out : request_.outputs) {
    if (out.empty()) continue;
    fs::path p(out);
    return p.has_extension() ? p.replace_extension().string() : out;
  }
  return "export";
}

bool AviExport::WriteManifest(std::string* error) {
  const std::string path = SidecarBase() + ".sha256";
  const fs::path folder = fs::absolute(fs::path(path)).parent_path();
  std::string text;
  std::vector<unsigned char> buffer(kHashChunkBytes);
  std::unique_ptr<AVSHA, decltype(&av_free)> sha(av_sha_alloc(), &av_free);
  if (!sha) {
    *error = "out of memory";
    return false;
  }
  // Every file of the export: the outputs, then the track when there is one.
  std::vector<std::string> files = result_.files;
  for (const std::string& s : sidecars_) files.push_back(s);
  for (const std::string& file : files) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) {
      *error = "cannot read " + file + ": " + std::strerror(errno);
      return false;
    }
    av_sha_init(sha.get(), 256);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) {
      if (cancel_.load()) {
        std::fclose(f);
        *error = "cancelled";
        return false;
      }
      av_sha_update(sha.get(), buffer.data(), n);
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
      *error = "cannot read " + file;
      return false;
    }
    unsigned char digest[32];
    av_sha_final(sha.get(), digest);
    char hex[65];
    for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    fs::path rel = fs::absolute(fs::path(file)).lexically_relative(folder);
    if (rel.empty()) rel = fs::path(file).filename();
    text += hex;
    text += "  ";
    text += rel.generic_string();
    text += '\n';
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  sidecars_.push_back(path);
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool AviExport::WriteGpx(std::string* error) {
  const std::string path = SidecarBase() + ".gpx";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  sidecars_.push_back(path);
  int bad = 0;
  bad |= std::fputs(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<gpx version=\"1.1\" creator=\"Corvane\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
             "  <trk>\n    <trkseg>\n",
             f) < 0;
  for (const Fix& fix : fixes_) {
    const int64_t ms = fix.time;
    std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int millis = static_cast<int>(ms - static_cast<int64_t>(seconds) * 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    bad |= std::fprintf(f,
                        "      <trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>"
                        "<time>%04d-%02d-%02dT%02d:%02d:%02d.%03dZ</time></trkpt>\n",
                        fix.lat, fix.lon, fix.ele, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                        tm.tm_min, tm.tm_sec, millis) < 0;
  }
  bad |= std::fputs("    </trkseg>\n  </trk>\n</gpx>\n", f) < 0;
  if (std::fclose(f) != 0 || bad) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace avexport
