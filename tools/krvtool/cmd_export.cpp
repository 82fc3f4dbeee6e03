// krvtool export FILE... --from S --to S (--channel C -o OUT | --channels LIST
// -d DIR): the player's export, headless.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "command.h"
#include "headless_player.h"
#include "json_text.h"
#include "krv_session.h"
#include "krvreader/record_start.h"
#include "export/export_names.h"
#include "media_commands.h"
#include "stop_signals.h"

extern "C" {
#include <libavutil/log.h>
}

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool export FILE... --from S --to S --channel C -o OUT.avi\n"
    "       krvtool export FILE... --from S --to S --channels LIST -d DIR\n"
    "                      [--sha256] [--gpx] [--report]\n"
    "\n"
    "Copies the stretch from second S to second S of one KRV recording, or of the\n"
    "AVI files of one period, into one AVI file per channel (H.264 and Microsoft\n"
    "ADPCM copied, not re-encoded), through the player the window uses: the\n"
    "reader seeks to the key frame at or before --from, each channel's file\n"
    "opens on its first key frame and ends with its first picture at or after\n"
    "--to. Files are written as NAME.part and renamed when all are finished.\n"
    "  --channel C -o OUT   channel C (0-3) into OUT (\".avi\" added when OUT\n"
    "                       has no extension)\n"
    "  --channels LIST -d DIR  the channels of LIST (0-3, comma-separated) into\n"
    "                       DIR under the save dialog's names:\n"
    "                       YYYYMMDDhhmmss_TTTT_CC.avi (recording start + --from,\n"
    "                       the source's record-type digits, channel 1-4)\n"
    "  --sha256             NAME.sha256 beside the files, in sha256sum's format\n"
    "  --gpx                NAME.gpx: the stretch's usable GPS fixes (GPX 1.1)\n"
    "  --report             one JSON object: outcome, files, packets per stream,\n"
    "                       first and last picture times, progress values,\n"
    "                       channels without pictures, failure reason\n"
    "NAME is OUT without its extension, or DIR/ the proposed name of the first\n"
    "channel. SIGINT or SIGTERM cancels the export and removes its files.\n"
    "Exit 0 when finished; 1 when it failed, was cancelled or the recording ended\n"
    "before --to (the files written up to there stay); 2 on bad usage or a\n"
    "refused request.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"export", kExportSummary, kUsage, run};
KRVTOOL_COMMAND(kCommand);

// Nothing ends the export for this long: the reader has stalled.
constexpr int kStallMs = 60000;

bool parseChannels(const std::string& text, std::vector<int>* out) {
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t comma = text.find(',', pos);
    const std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    long long c = 0;
    if (!ParseInt(item, 0, 3, &c)) return false;
    for (int have : *out)
      if (have == c) return false;
    out->push_back(static_cast<int>(c));
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return !out->empty();
}

std::string report(const avexport::ExportResult& r, double wallMs) {
  std::string s = "{\"outcome\":" + jsonString(avexport::OutcomeName(r.outcome)) + ",\"files\":[";
  for (size_t i = 0; i < r.files.size(); ++i) s += (i ? "," : "") + jsonString(r.files[i]);
  s += "],\"channels\":[";
  for (int c = 0; c < 4; ++c) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s{\"video\":%lld,\"audio\":%lld,\"firstMs\":%lld,\"lastMs\":%lld}", c ? "," : "",
                  static_cast<long long>(r.videoPackets[c]), static_cast<long long>(r.audioPackets[c]),
                  static_cast<long long>(r.firstVideoMs[c]), static_cast<long long>(r.lastVideoMs[c]));
    s += buf;
  }
  s += "],\"progress\":[";
  for (size_t i = 0; i < r.progress.size(); ++i) s += (i ? "," : "") + std::to_string(r.progress[i]);
  s += "],\"withoutPictures\":[";
  for (size_t i = 0; i < r.channelsWithoutPictures.size(); ++i)
    s += (i ? "," : "") + std::to_string(r.channelsWithoutPictures[i]);
  s += "],\"gpsFixes\":" + std::to_string(r.gpsFixes);
  s += ",\"failedPath\":" + jsonString(r.failedPath) + ",\"reason\":" + jsonString(r.reason);
  char buf[64];
  std::snprintf(buf, sizeof buf, ",\"wallMs\":%.1f}", wallMs);
  return s + buf;
}

int run(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  long long from = -1, to = -1, channel = -1;
  std::vector<int> channels;
  std::string out, dir;
  bool sha256 = false, gpx = false, wantReport = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> const std::string* {
      if (i + 1 >= args.size()) {
        usageError(kCommand, std::string(what) + " needs a value");
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "--from" || a == "--to") {
      const std::string* v = value(a.c_str());
      long long n = 0;
      if (!v || !ParseInt(*v, 0, 1LL << 30, &n)) return usageError(kCommand, a + " needs whole seconds");
      (a == "--from" ? from : to) = n;
    } else if (a == "--channel") {
      const std::string* v = value("--channel");
      if (!v || !ParseInt(*v, 0, 3, &channel)) return usageError(kCommand, "--channel needs 0-3");
    } else if (a == "--channels") {
      const std::string* v = value("--channels");
      if (!v || !parseChannels(*v, &channels)) return usageError(kCommand, "--channels needs a list of 0-3");
    } else if (a == "-o") {
      const std::string* v = value("-o");
      if (!v || v->empty()) return usageError(kCommand, "-o needs a file");
      out = *v;
    } else if (a == "-d") {
      const std::string* v = value("-d");
      if (!v || v->empty()) return usageError(kCommand, "-d needs a folder");
      dir = *v;
    } else if (a == "--sha256") {
      sha256 = true;
    } else if (a == "--gpx") {
      gpx = true;
    } else if (a == "--report") {
      wantReport = true;
    } else if (!a.empty() && a[0] == '-') {
      return usageError(kCommand, "unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return usageError(kCommand, "expects FILE");
  if (from < 0 || to < 0) return usageError(kCommand, "expects --from S and --to S");
  const bool single = channel >= 0 || !out.empty();
  const bool several = !channels.empty() || !dir.empty();
  if (single == several) return usageError(kCommand, "expects either --channel C -o OUT or --channels LIST -d DIR");
  if (single && (channel < 0 || out.empty())) return usageError(kCommand, "--channel and -o go together");
  if (several && (channels.empty() || dir.empty())) return usageError(kCommand, "--channels and -d go together");

  const bool avi = files[0].size() > 4 && (files[0].compare(files[0].size() - 4, 4, ".avi") == 0 ||
                                           files[0].compare(files[0].size() - 4, 4, ".AVI") == 0);
  if (!avi && files.size() != 1) return usageError(kCommand, "expects one KRV recording or the AVI files of a period");

  avexport::ExportRequest request;
  request.startSecond = static_cast<int>(from);
  request.endSecond = static_cast<int>(to);
  request.sha256 = sha256;
  request.gpx = gpx;
  request.recordingStart = krv::RecordStartFromName(files[0].c_str());
  if (request.recordingStart < 0) request.recordingStart = 0;
  if (single) {
    request.outputs[channel] = avexport::WithAviExtension(out);
  } else {
    const std::string proposed = avexport::ProposedName(request.recordingStart, request.startSecond, files[0],
                                                        channels[0]);
    std::string folder = dir;
    if (folder.back() != '/') folder += '/';
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (int c : channels) request.outputs[c] = folder + avexport::ChannelName(proposed, c + 1) + ".avi";
    request.sidecarBase = folder + proposed;
  }

  // The player's decoders see the packets the reader plays around the
  // export; what they say of them is not the export's business.
  av_log_set_level(AV_LOG_QUIET);
  krvplayer::InstallStopSignals();
  krvplayer::HeadlessPlayer::Options options;
  options.nullSound = true;
  krvplayer::HeadlessPlayer player(options);
  if (avi) {
    if (!player.SelectAvi(playback::Player::AviByChannel(files), single ? static_cast<int>(channel) : channels[0],
                          playback::Player::Select::kOpen)) {
      std::fprintf(stderr, "krvtool export: no AVI file of channels 1-4 among the files\n");
      return ExitCode::kUsage;
    }
  } else {
    player.SelectKrv(files[0], playback::Player::Select::kOpen);
  }
  const auto started = std::chrono::steady_clock::now();
  const std::string refused = player.Export(request);
  if (!refused.empty()) {
    std::fprintf(stderr, "krvtool export: %s\n", refused.c_str());
    return ExitCode::kUsage;
  }
  avexport::ExportResult result;
  bool ended = false;
  int waitedMs = 0;
  int64_t lastPackets = -1;
  while (!ended) {
    if (krvplayer::StopSignal() != 0) {
      player.CancelExport();
      ended = player.WaitForExportEnd(1000, 0, &result);
      break;
    }
    ended = player.WaitForExportEnd(100, 0, &result);
    if (ended) break;
    if (!player.ReaderRunning()) {
      // The reader ended without reading: the recording does not open.
      player.CancelExport();
      player.Close();
      std::fprintf(stderr, "krvtool export: cannot read %s\n", files[0].c_str());
      return kFileError;
    }
    const int64_t packets = player.State().stats.exported.load();
    waitedMs = packets == lastPackets ? waitedMs + 100 : 0;
    lastPackets = packets;
    if (waitedMs >= kStallMs) {
      std::fprintf(stderr, "krvtool export: the reader stalled; export cancelled\n");
      player.CancelExport();
      ended = player.WaitForExportEnd(1000, 0, &result);
      break;
    }
  }
  if (!ended) result = player.LastExportResult();
  player.Close();
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  if (wantReport) {
    std::printf("%s\n", report(result, wallMs).c_str());
  } else {
    std::printf("%s: %zu file(s)\n", avexport::OutcomeName(result.outcome), result.files.size());
  }
  using Outcome = avexport::ExportResult::Outcome;
  if (result.outcome == Outcome::kFailed)
    std::fprintf(stderr, "krvtool export: %s\n", result.reason.c_str());
  else if (result.outcome == Outcome::kStoppedEarly)
    std::fprintf(stderr, "krvtool export: the recording ended before second %lld\n", to);
  else if (result.outcome == Outcome::kCancelled)
    std::fprintf(stderr, "krvtool export: cancelled\n");
  else if (result.outcome != Outcome::kFinished)
    std::fprintf(stderr, "krvtool export: the export did not end\n");
  std::fflush(stdout);
  return result.outcome == Outcome::kFinished ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
