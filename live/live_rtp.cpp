#include "live/live_rtp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "live/live_recorder.h"
#include "live/reachability.h"
#include "media/ac_log.h"
#include "media/ac_movie_filter.h"
#include "media/ac_records.h"
#include "media/ac_sync.h"
#include "media/av_handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace live {

namespace {

constexpr char kLog[] = "live";
constexpr int kMaxBackoffSeconds = 30;
// libavformat's socket time-out: a stream silent this long is lost.
constexpr char kSocketTimeoutUs[] = "3000000";

std::once_flag networkOnce;

std::string ErrorText(int err) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(err, text, sizeof text);
  return text;
}

// The NAL unit types of an Annex B access unit, as flags (bit = type).
uint32_t NalTypes(const unsigned char* p, int size) {
  uint32_t types = 0;
  for (int i = 0; i + 3 < size; ++i) {
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) {
      types |= 1u << (p[i + 3] & 0x1F);
      i += 2;
    }
  }
  return types;
}

bool IsAnnexB(const unsigned char* p, int size) {
  return size >= 4 && p[0] == 0 && p[1] == 0 && (p[2] == 1 || (p[2] == 0 && p[3] == 1));
}

struct ParserDeleter {
  void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};

}  // namespace

const char* LiveStateText(LiveState state) {
  switch (state) {
    case LiveState::kClosed:
      return "Closed";
    case LiveState::kConnecting:
      return "Connecting";
    case LiveState::kPlaying:
      return "Playing";
    case LiveState::kNotReachable:
      return "Not reachable";
    case LiveState::kRefused:
      return "Connection refused";
    case LiveState::kAuthFailed:
      return "Authentication failed";
    case LiveState::kLost:
      return "Lost";
    case LiveState::kFailed:
      return "Failed";
  }
  return "Failed";
}

std::string LiveEventText(const LiveEvent& e) {
  std::string text = "Channel " + std::to_string(e.channel + 1) + ": " + LiveStateText(e.state);
  if (!e.reason.empty() && e.state != LiveState::kNotReachable && e.state != LiveState::kRefused)
    text += " (" + e.reason + ")";
  if (e.state == LiveState::kLost && e.retryInSeconds > 0)
    text += ", retrying in " + std::to_string(e.retryInSeconds) + " s";
  if (e.recording) text += ", recording";
  return text;
}

struct LiveRtp::Channel {
  int index = 0;
  std::string url;      // as shown and logged: no credentials
  std::string openUrl;  // for libavformat only
  std::string host;
  int port = 554;
  std::string recFolder;
  media::ACMovieFilter* filter = nullptr;
  std::shared_ptr<const std::function<void(const LiveEvent&)>> observer;

  // Written by the owner, read by the thread.
  std::atomic<int> stop{0};
  media::ACEvent stopEvent{media::ACEvent::kManualReset};
  std::atomic<int> recWanted{0};
  std::mutex recLock;        // guards recPath and recGeneration's path
  std::string recPath;       // "" = name files in recFolder
  std::atomic<int> recGeneration{0};

  // Written by the thread, read by anyone.
  std::atomic<int64_t> packets{0}, keyFrames{0}, pushed{0}, dropped{0}, recorded{0}, recordFiles{0}, connects{0};
  std::atomic<int> width{0}, height{0};
  std::atomic<int> state{static_cast<int>(LiveState::kClosed)};
  std::shared_ptr<RecordedList> files;

  media::ACThread thread;

  // ---- the thread's own --------------------------------------------------
  LiveRecorder recorder;
  int recorderGeneration = -1;
  int splitCount = 0;
  std::vector<unsigned char> au;
  std::vector<unsigned char> extradata;  // SPS and PPS of the SDP, Annex B
  std::unique_ptr<AVCodecParserContext, ParserDeleter> parser;
  media::AVCodecContextPtr parserContext;
  bool dropping = false;
  int64_t firstTimeUs = -1;
  int64_t lastTimeUs = -1;

  bool Stopped() const { return stop.load() != 0; }
  static int Interrupt(void* opaque) { return static_cast<Channel*>(opaque)->Stopped() ? 1 : 0; }

  void Post(LiveState s, const std::string& reason = "", int retry = 0) {
    state.store(static_cast<int>(s));
    if (s == LiveState::kNotReachable || s == LiveState::kRefused || s == LiveState::kAuthFailed ||
        s == LiveState::kFailed || s == LiveState::kLost)
      media::LogLine(media::LogLevel::kError, kLog, "%s: %s%s%s", url.c_str(), LiveStateText(s),
                     reason.empty() ? "" : ": ", reason.c_str());
    if (observer && *observer) {
      LiveEvent e;
      e.channel = index;
      e.state = s;
      e.reason = reason;
      e.retryInSeconds = retry;
      e.recording = recWanted.load() != 0;
      (*observer)(e);
    }
  }

  void Run();
  // One connection: opens the stream and reads it until it ends, breaks or
  // the channel is closed. Returns the state to go on with: kClosed when
  // closed, kAuthFailed, kFailed (never played) or kLost.
  LiveState Stream(std::string* reason, bool* played);
  void Packet(const AVPacket* pkt, AVRational timeBase, int framesPerSecond);
  void PictureSize(const unsigned char* data, int size);
  void Record(const unsigned char* data, int size, bool key, int64_t timeUs, int64_t durationUs, int fps);
  void RecordFailed(const std::string& why);
};

void LiveRtp::Channel::Run() {
  au.resize(media::kMediaBufferBytes);
  int backoff = 1;
  bool everPlayed = false;
  while (!Stopped()) {
    Post(LiveState::kConnecting);
    const Reach reach = CheckReachable(host, port, kReachWaitMs);
    if (Stopped()) break;
    std::string reason;
    LiveState next;
    if (reach != Reach::kReady) {
      next = reach == Reach::kRefused ? LiveState::kRefused : LiveState::kNotReachable;
      reason = ReachText(reach);
    } else {
      bool played = false;
      next = Stream(&reason, &played);
      // Every end of a stream ends its recording's file.
      if (recorder.Open() && !recorder.Finish()) RecordFailed("write error");
      if (played) {
        everPlayed = true;
        backoff = 1;
      }
    }
    if (Stopped() || next == LiveState::kClosed) break;
    // A channel that never played, and refused credentials, are told once.
    if (!everPlayed || next == LiveState::kAuthFailed) {
      Post(next, reason);
      break;
    }
    Post(LiveState::kLost, reason, backoff);
    if (stopEvent.Wait(backoff * 1000)) break;
    backoff = std::min(backoff * 2, kMaxBackoffSeconds);
  }
  if (recorder.Open() && !recorder.Finish()) RecordFailed("write error");
  if (filter != nullptr) filter->SetLive(index, false);
  // A channel closed by its owner says so last (the page clears its pane).
  if (Stopped()) Post(LiveState::kClosed);
}

LiveState LiveRtp::Channel::Stream(std::string* reason, bool* played) {
  AVFormatContext* ic = avformat_alloc_context();
  if (ic == nullptr) {
    *reason = "out of memory";
    return LiveState::kFailed;
  }
  ic->interrupt_callback.callback = &Channel::Interrupt;
  ic->interrupt_callback.opaque = this;
  AVDictionary* opts = nullptr;
  av_dict_set(&opts, "rtsp_transport", "tcp", 0);
  av_dict_set(&opts, "allowed_media_types", "video", 0);
  av_dict_set(&opts, "timeout", kSocketTimeoutUs, 0);
  av_dict_set(&opts, "analyzeduration", "100000", 0);
  av_dict_set(&opts, "probesize", "32768", 0);
  // No reordering queue: packets come over TCP in order.
  av_dict_set(&opts, "reorder_queue_size", "0", 0);
  int rc = avformat_open_input(&ic, openUrl.c_str(), nullptr, &opts);
  av_dict_free(&opts);
  if (rc < 0) {
    // avformat_open_input freed the context.
    if (Stopped()) return LiveState::kClosed;
    *reason = ErrorText(rc);
    if (rc == AVERROR_HTTP_UNAUTHORIZED || rc == AVERROR_HTTP_FORBIDDEN) return LiveState::kAuthFailed;
    return LiveState::kFailed;
  }
  struct Closer {
    AVFormatContext** ic;
    ~Closer() { avformat_close_input(ic); }
  } closer{&ic};

  int video = -1;
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    const AVCodecParameters* par = ic->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && par->codec_id == AV_CODEC_ID_H264) {
      video = static_cast<int>(i);
      break;
    }
  }
  if (video < 0) {
    *reason = "no H.264 video in the stream";
    return LiveState::kFailed;
  }
  AVStream* st = ic->streams[video];
  const AVCodecParameters* par = st->codecpar;
  extradata.clear();
  if (par->extradata != nullptr && IsAnnexB(par->extradata, par->extradata_size))
    extradata.assign(par->extradata, par->extradata + par->extradata_size);
  int fps = 25;
  if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0) {
    const int r = static_cast<int>(av_q2d(st->avg_frame_rate) + 0.5);
    if (r >= 1 && r <= 120) fps = r;
  }
  firstTimeUs = -1;
  lastTimeUs = -1;
  dropping = false;
  connects.fetch_add(1);

  media::AVPacketPtr pkt(av_packet_alloc());
  if (!pkt) {
    *reason = "out of memory";
    return LiveState::kFailed;
  }
  for (;;) {
    rc = av_read_frame(ic, pkt.get());
    if (Stopped()) return LiveState::kClosed;
    if (rc < 0) {
      *reason = rc == AVERROR_EOF ? "the stream ended" : ErrorText(rc);
      return *played ? LiveState::kLost : LiveState::kFailed;
    }
    if (pkt->stream_index == video) {
      if (!*played) {
        *played = true;
        Post(LiveState::kPlaying);
      }
      Packet(pkt.get(), st->time_base, fps);
    }
    av_packet_unref(pkt.get());
  }
}

void LiveRtp::Channel::PictureSize(const unsigned char* data, int size) {
  if (!parser) {
    parser.reset(av_parser_init(AV_CODEC_ID_H264));
    parserContext.reset(avcodec_alloc_context3(nullptr));
    if (!parser || !parserContext) {
      parser.reset();
      return;
    }
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  }
  uint8_t* out = nullptr;
  int outSize = 0;
  av_parser_parse2(parser.get(), parserContext.get(), &out, &outSize, data, size, AV_NOPTS_VALUE, AV_NOPTS_VALUE,
                   0);
  const int w = parser->width, h = parser->height;
  if (w > 0 && h > 0) {
    width.store(w);
    height.store(h);
  }
}

void LiveRtp::Channel::Packet(const AVPacket* pkt, AVRational timeBase, int fps) {
  packets.fetch_add(1);
  const unsigned char* data = pkt->data;
  int size = pkt->size;
  if (data == nullptr || size <= 0) return;
  const uint32_t types = NalTypes(data, size);
  const bool key = (pkt->flags & AV_PKT_FLAG_KEY) != 0 || (types & (1u << 5)) != 0;
  if (key) {
    keyFrames.fetch_add(1);
    // A key frame without SPS and PPS in band gets the SDP's in front, so
    // the decoder and every recording can start at it.
    const bool inBand = (types & (1u << 7)) != 0 && (types & (1u << 8)) != 0;
    if (!inBand && !extradata.empty()) {
      if (extradata.size() + static_cast<size_t>(size) > au.size()) {
        dropped.fetch_add(1);
        return;
      }
      std::memcpy(au.data(), extradata.data(), extradata.size());
      std::memcpy(au.data() + extradata.size(), data, static_cast<size_t>(size));
      data = au.data();
      size += static_cast<int>(extradata.size());
    }
    PictureSize(data, size);
  }
  const int64_t durationUs = 1000000 / fps;
  // The stream's time; a packet without one (the first may have none) one
  // picture after the previous.
  const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
  int64_t timeUs = ts != AV_NOPTS_VALUE ? av_rescale_q(ts, timeBase, AVRational{1, 1000000}) : -1;
  if (timeUs < 0) timeUs = lastTimeUs >= 0 ? lastTimeUs + durationUs : 0;
  lastTimeUs = timeUs;
  if (firstTimeUs < 0) firstTimeUs = timeUs;

  Record(data, size, key, timeUs, durationUs, fps);

  const int w = width.load(), h = height.load();
  if (filter == nullptr || w <= 0 || h <= 0) return;
  if (dropping && !key) {
    dropped.fetch_add(1);
    return;
  }
  int64_t dtsMs = (timeUs - firstTimeUs) / 1000;
  if (dtsMs < 0) dtsMs = 0;
  if (size > media::kMediaBufferBytes) {
    dropped.fetch_add(1);
    return;
  }
  if (filter->InputLiveData(index, dtsMs, const_cast<unsigned char*>(data), size, w, h) == 0) {
    // The decoder is behind: the packets that depend on this one go too.
    dropping = true;
    dropped.fetch_add(1);
    return;
  }
  dropping = false;
  pushed.fetch_add(1);
}

void LiveRtp::Channel::RecordFailed(const std::string& why) {
  recWanted.store(0);
  media::LogLine(media::LogLevel::kError, kLog, "%s: recording stopped: %s", url.c_str(), why.c_str());
  Post(static_cast<LiveState>(state.load()), "recording stopped: " + why);
}

void LiveRtp::Channel::Record(const unsigned char* data, int size, bool key, int64_t timeUs, int64_t durationUs,
                              int fps) {
  const int generation = recGeneration.load();
  if (recWanted.load() == 0 || generation != recorderGeneration) {
    if (recorder.Open() && !recorder.Finish()) RecordFailed("write error");
    if (recWanted.load() == 0) return;
  }
  if (recorder.Open() && key && recorder.SplitDue(timeUs)) {
    if (!recorder.Finish()) {
      RecordFailed("write error");
      return;
    }
  }
  if (!recorder.Open()) {
    // Each file starts at a key frame whose picture size is known.
    if (!key || width.load() <= 0 || height.load() <= 0) return;
    std::string explicitPath;
    {
      std::lock_guard<std::mutex> lock(recLock);
      explicitPath = recPath;
    }
    std::string error, path;
    std::time_t when = std::time(nullptr);
    if (!explicitPath.empty()) {
      path = explicitPath;
      if (generation == recorderGeneration) {
        // A split of a named recording: PATH-2.krv, PATH-3.krv ...
        const size_t dot = path.rfind(".krv");
        path = (dot == std::string::npos ? path : path.substr(0, dot)) + "-" + std::to_string(++splitCount + 1) +
               ".krv";
      } else {
        splitCount = 0;
      }
      FILE* f = std::fopen(path.c_str(), "wx");
      if (f == nullptr) {
        RecordFailed("cannot create " + path);
        return;
      }
      std::fclose(f);
    } else {
      path = CreateLiveRecordFile(recFolder, index, when, &when, &error);
      if (path.empty()) {
        RecordFailed(error);
        return;
      }
    }
    struct tm tm;
    localtime_r(&when, &tm);
    const int64_t startSeconds = static_cast<int64_t>(timegm(&tm));  // the name's time read as UTC
    LiveRecorder::Stream s;
    s.channel = index;
    s.width = width.load();
    s.height = height.load();
    s.framesPerSecond = fps;
    if (!recorder.Begin(path, s, startSeconds, &error)) {
      RecordFailed(error);
      return;
    }
    recorderGeneration = generation;
    recordFiles.fetch_add(1);
    std::lock_guard<std::mutex> lock(files->lock);
    files->paths[index].push_back(path);
  }
  if (!recorder.Write(data, size, key, timeUs, durationUs)) {
    RecordFailed("write error");
    return;
  }
  recorded.fetch_add(1);
}

// ---- LiveRtp -------------------------------------------------------------

LiveRtp::LiveRtp() : files_(std::make_shared<RecordedList>()) {
  std::call_once(networkOnce, [] { avformat_network_init(); });
}

LiveRtp::~LiveRtp() { CloseAll(); }

void LiveRtp::SetMovieFilter(media::ACMovieFilter* filter) { filter_.store(filter); }

void LiveRtp::SetObserver(std::function<void(const LiveEvent&)> observer) {
  observer_ = std::make_shared<const std::function<void(const LiveEvent&)>>(std::move(observer));
}

int LiveRtp::OpenChannel(int channel, const char* url, const char* recFolder, const LiveCredentials* credentials) {
  if (channel < 0 || channel >= kLiveChannels || url == nullptr) return 0;
  char proto[16] = {}, auth[256] = {}, host[256] = {}, path[1024] = {};
  int port = -1;
  av_url_split(proto, sizeof proto, auth, sizeof auth, host, sizeof host, &port, path, sizeof path, url);
  if (std::strcmp(proto, "rtsp") != 0 || host[0] == '\0') return 0;
  if (port <= 0) port = 554;

  std::string user, password;
  if (credentials != nullptr) {
    user = credentials->username;
    password = credentials->password;
  } else if (auth[0] != '\0') {
    const char* colon = std::strchr(auth, ':');
    user = colon != nullptr ? std::string(auth, static_cast<size_t>(colon - auth)) : std::string(auth);
    password = colon != nullptr ? std::string(colon + 1) : std::string();
  }
  // Characters that would end the address's user part cannot be sent.
  for (const std::string* s : {&user, &password})
    if (s->find_first_of("/?#") != std::string::npos) return 0;
  if (user.find(':') != std::string::npos) return 0;

  CloseChannel(channel);
  auto ch = std::make_unique<Channel>();
  ch->index = channel;
  const std::string hostPart = std::strchr(host, ':') != nullptr ? "[" + std::string(host) + "]" : host;
  const std::string portPart = port == 554 ? "" : ":" + std::to_string(port);
  ch->url = "rtsp://" + hostPart + portPart + path;
  ch->openUrl = user.empty() && password.empty()
                    ? ch->url
                    : "rtsp://" + user + ":" + password + "@" + hostPart + portPart + path;
  ch->host = host;
  ch->port = port;
  ch->recFolder = recFolder != nullptr ? recFolder : "";
  ch->filter = filter_.load();
  ch->observer = observer_;
  ch->files = files_;
  if (ch->filter != nullptr) ch->filter->SetLive(channel, true);
  Channel* raw = ch.get();
  if (!ch->thread.Start([raw] { raw->Run(); }, "cv-live")) {
    if (ch->filter != nullptr) ch->filter->SetLive(channel, false);
    return 0;
  }
  channels_[channel] = std::move(ch);
  return 1;
}

void LiveRtp::CloseChannel(int channel) {
  if (channel < 0 || channel >= kLiveChannels || !channels_[channel]) return;
  Channel& ch = *channels_[channel];
  ch.stop.store(1);
  ch.stopEvent.Set();
  if (!ch.thread.WaitEnded(kCloseWaitMs)) {
    media::LogLine(media::LogLevel::kError, kLog, "channel %d: its thread is slow to end", channel + 1);
    ch.thread.Join();
  }
  if (ch.filter != nullptr) ch.filter->SetLive(channel, false);
  channels_[channel].reset();
}

void LiveRtp::CloseAll() {
  // Every channel is told first, so that they end together.
  for (auto& ch : channels_)
    if (ch) {
      ch->stop.store(1);
      ch->stopEvent.Set();
    }
  for (int c = 0; c < kLiveChannels; ++c) CloseChannel(c);
}

int LiveRtp::StartRec(int channel, std::string* error) {
  if (channel < 0 || channel >= kLiveChannels || !channels_[channel]) {
    if (error) *error = "the channel is not open";
    return 0;
  }
  Channel& ch = *channels_[channel];
  std::string why;
  if (!PrepareRecordFolder(ch.recFolder, &why)) {
    if (error) *error = why;
    return 0;
  }
  {
    std::lock_guard<std::mutex> lock(ch.recLock);
    ch.recPath.clear();
  }
  ch.recGeneration.fetch_add(1);
  ch.recWanted.store(1);
  return 1;
}

int LiveRtp::StartRecTo(int channel, const std::string& path, std::string* error) {
  if (channel < 0 || channel >= kLiveChannels || !channels_[channel]) {
    if (error) *error = "the channel is not open";
    return 0;
  }
  if (path.empty()) {
    if (error) *error = "no file name";
    return 0;
  }
  FILE* f = std::fopen(path.c_str(), "r");
  if (f != nullptr) {
    std::fclose(f);
    if (error) *error = path + " exists";
    return 0;
  }
  Channel& ch = *channels_[channel];
  {
    std::lock_guard<std::mutex> lock(ch.recLock);
    ch.recPath = path;
  }
  ch.recGeneration.fetch_add(1);
  ch.recWanted.store(1);
  return 1;
}

void LiveRtp::StopRec(int channel) {
  if (channel < 0 || channel >= kLiveChannels || !channels_[channel]) return;
  channels_[channel]->recWanted.store(0);
}

int LiveRtp::GetRecStatus(int channel) const {
  if (channel < 0 || channel >= kLiveChannels || !channels_[channel]) return 0;
  return channels_[channel]->recWanted.load() != 0 ? 1 : 0;
}

bool LiveRtp::IsOpen(int channel) const {
  return channel >= 0 && channel < kLiveChannels && channels_[channel] != nullptr;
}

bool LiveRtp::AnyOpen() const {
  for (const auto& ch : channels_)
    if (ch) return true;
  return false;
}

LiveChannelStats LiveRtp::Stats(int channel) const {
  LiveChannelStats s;
  if (!IsOpen(channel)) return s;
  const Channel& ch = *channels_[channel];
  s.packets = ch.packets.load();
  s.keyFrames = ch.keyFrames.load();
  s.pushed = ch.pushed.load();
  s.dropped = ch.dropped.load();
  s.recorded = ch.recorded.load();
  s.recordFiles = ch.recordFiles.load();
  s.connects = ch.connects.load();
  s.width = ch.width.load();
  s.height = ch.height.load();
  s.state = static_cast<LiveState>(ch.state.load());
  return s;
}

std::vector<std::string> LiveRtp::RecordedFiles(int channel) const {
  if (channel < 0 || channel >= kLiveChannels) return {};
  std::lock_guard<std::mutex> lock(files_->lock);
  return files_->paths[channel];
}

}  // namespace live
