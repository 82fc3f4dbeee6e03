// The AVI reader thread: the channel files of one recording period, one per
// channel, read through libavformat's AVI demuxer.
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include <memory>

#include "krvreader/krv.h"
#include "media/ac_log.h"
#include "playback/reader_link.h"
#include "playback/reader_threads_internal.h"
#include "krvreader/record_start.h"

namespace playback::detail {

namespace {

// libavcodec's identifiers in the container's numbers, which the pipeline
// and the export use.
struct CodecPair {
  ::AVCodecID av;
  int container;
};
constexpr CodecPair kCodecs[] = {
    {AV_CODEC_ID_H264, krv::CODEC_H264},         {AV_CODEC_ID_FLV1, krv::CODEC_H263_SORENSON},
    {AV_CODEC_ID_PCM_S16LE, krv::CODEC_PCM_S16LE}, {AV_CODEC_ID_PCM_S16BE, krv::CODEC_PCM_S16BE},
    {AV_CODEC_ID_PCM_S8, krv::CODEC_PCM_S8},     {AV_CODEC_ID_ADPCM_MS, krv::CODEC_ADPCM_MS},
    {AV_CODEC_ID_ADPCM_SWF, krv::CODEC_ADPCM_SWF}, {AV_CODEC_ID_MP3, krv::CODEC_MP3},
    {AV_CODEC_ID_AAC, krv::CODEC_AAC},
};

int containerCodec(::AVCodecID id) {
  for (const CodecPair& p : kCodecs)
    if (p.av == id) return p.container;
  return krv::CODEC_NONE;
}

struct FormatCloser {
  void operator()(::AVFormatContext* f) const { avformat_close_input(&f); }
};
struct PacketFreer {
  void operator()(::AVPacket* p) const { av_packet_free(&p); }
};

// One channel file.
struct AviFile {
  std::unique_ptr<::AVFormatContext, FormatCloser> fmt;
  int channel = -1;
  bool ended = true;
  int64_t durationSec = 0;
  bool Open() const { return fmt != nullptr; }
};

// Packet time in ms: dts x numerator x 1000 / denominator.
bool packetMs(const ::AVPacket* p, ::AVRational tb, int64_t* ms) {
  int64_t t = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
  if (t == AV_NOPTS_VALUE || tb.num <= 0 || tb.den <= 0) return false;
  *ms = av_rescale_rnd(t, static_cast<int64_t>(tb.num) * 1000, tb.den,
                       static_cast<AVRounding>(AV_ROUND_ZERO | AV_ROUND_PASS_MINMAX));
  return true;
}

// A stream's length in whole seconds.
int64_t streamSeconds(const ::AVStream* st) {
  int64_t n = st->duration > 0 ? st->duration : st->nb_frames;
  if (n <= 0 || st->time_base.num <= 0 || st->time_base.den <= 0) return 0;
  return av_rescale_rnd(n, st->time_base.num, st->time_base.den, AV_ROUND_ZERO);
}

class AviReader {
 public:
  AviReader(PlayState& s, media::ACEvent& wake) : s_(s), link_(s, s.gates.avi, wake) {}

  void Run();

 private:
  static int CurrentChannel(const PlayState& s) {
    int c = s.currentChannel.load();
    return c >= 0 && c < 4 ? c : 0;
  }
  bool SwitchFiles();
  void CloseFiles();
  void Seek();
  void Pass();
  void HandlePacket(int slot, AviFile& f);
  int ClockSlot() const;
  int64_t LengthMs() const {
    int slot = ClockSlot();
    return slot >= 0 ? files_[slot].durationSec * 1000 : 0;
  }
  bool AnyOpen() const {
    for (const AviFile& f : files_)
      if (f.Open()) return true;
    return false;
  }

  PlayState& s_;
  ReaderLink link_;
  AviFile files_[4];
  std::unique_ptr<::AVPacket, PacketFreer> pkt_{av_packet_alloc()};
  int64_t clockMs_ = 0;        // the latest video time of the clock's file
  bool clockMsChanged_ = false;
  int clockSlot_ = -1;         // the clock's file during the last pass
  char path_[SharedPath::kCapacity] = {};
};

void AviReader::CloseFiles() {
  for (AviFile& f : files_) {
    f.fmt.reset();
    f.ended = true;
    f.durationSec = 0;
    f.channel = -1;
  }
}

// The file whose video times drive the clock: the one of currentChannel, or,
// once that has ended or when it did not open, the first file still playing,
// so that the clock never waits for a file that has nothing more to give.
int AviReader::ClockSlot() const {
  const int wanted = CurrentChannel(s_);
  for (int i = 0; i < 4; ++i)
    if (files_[i].Open() && !files_[i].ended && files_[i].channel == wanted) return i;
  for (int i = 0; i < 4; ++i)
    if (files_[i].Open() && !files_[i].ended) return i;
  for (int i = 0; i < 4; ++i)
    if (files_[i].Open() && files_[i].channel == wanted) return i;
  return -1;
}

bool AviReader::SwitchFiles() {
  if (AnyOpen()) link_.LeaveRecording(LengthMs());
  CloseFiles();
  int64_t start = 0;
  const ::AVInputFormat* avi = av_find_input_format("avi");
  for (int i = 0; i < 4; ++i) {
    s_.aviPath[i].CopyTo(path_, sizeof path_);
    s_.aviOpenPath[i].Set(path_);
    if (path_[0] == '\0') continue;
    ::AVFormatContext* fmt = nullptr;
    const int err = avformat_open_input(&fmt, path_, avi, nullptr);
    if (err < 0) {  // counts as ended
      char why[AV_ERROR_MAX_STRING_SIZE] = {};
      av_strerror(err, why, sizeof why);
      media::LogLine(media::LogLevel::kError, "reader", "cannot open %s: %s", path_, why);
      continue;
    }
    AviFile& f = files_[i];
    f.fmt.reset(fmt);
    f.ended = false;
    // The channel the name gives; a name outside channels 1-4 plays in the
    // slot the window put it in.
    int channel = krv::RecordChannelFromName(path_);
    f.channel = channel >= 0 && channel < 4 ? channel : i;
    int64_t seconds = fmt->duration > 0 ? fmt->duration / AV_TIME_BASE : 0;
    for (unsigned k = 0; k < fmt->nb_streams; ++k) {
      int64_t s = streamSeconds(fmt->streams[k]);
      if (s > seconds) seconds = s;
    }
    f.durationSec = seconds;
    start = krv::RecordStartFromName(path_);
  }
  if (!AnyOpen()) return false;
  clockMs_ = 0;
  clockMsChanged_ = false;
  link_.EnterRecording(start, LengthMs());
  return true;
}

void AviReader::Seek() {
  const int seconds = s_.seekTarget.load();
  // The seek of an export is carried out whatever the durations say.
  const bool exporting = s_.exportPending.load() != 0;
  bool any = false;
  for (const AviFile& f : files_)
    if (f.Open() && (f.durationSec > 0 || exporting)) any = true;
  if (!any) return;
  link_.ResetForSeek();
  for (AviFile& f : files_) {
    if (!f.Open() || (f.durationSec <= 0 && !exporting) || f.fmt->nb_streams == 0) continue;
    const ::AVRational tb = f.fmt->streams[0]->time_base;
    const int64_t target = ::av_rescale_q(static_cast<int64_t>(seconds) * 1000000, ::AVRational{1, 1000000}, tb);
    av_seek_frame(f.fmt.get(), 0, target, AVSEEK_FLAG_BACKWARD);
    f.ended = false;
  }
  // Until the clock's file gives its first time after the seek, the other
  // channels' pictures carry the target.
  clockMs_ = static_cast<int64_t>(seconds) * 1000;
  clockMsChanged_ = false;
}

void AviReader::HandlePacket(int slot, AviFile& f) {
  ::AVPacket* p = pkt_.get();
  if (p->stream_index < 0 || static_cast<unsigned>(p->stream_index) >= f.fmt->nb_streams) return;
  const ::AVStream* st = f.fmt->streams[p->stream_index];
  const ::AVCodecParameters* par = st->codecpar;
  const int kind = par->codec_type == AVMEDIA_TYPE_VIDEO   ? krv::KIND_VIDEO
                   : par->codec_type == AVMEDIA_TYPE_AUDIO ? krv::KIND_AUDIO
                                                           : krv::KIND_DATA;
  const int codec = containerCodec(par->codec_id);
  const bool key = (p->flags & AV_PKT_FLAG_KEY) != 0;
  int64_t ownMs = 0;
  const bool timed = packetMs(p, st->time_base, &ownMs);
  if (kind == krv::KIND_VIDEO && slot == clockSlot_ && timed && ownMs != clockMs_) {
    clockMs_ = ownMs;
    clockMsChanged_ = true;
  }

  if (s_.exportPending.load()) {
    ExportPacket e;
    e.fileKind = PlayState::kAvi;
    e.channel = f.channel;
    e.streamKind = kind;
    e.codecId = codec;
    e.data = p->data;
    e.size = p->size;
    e.key = key;
    e.timeMs = ownMs;
    e.dts = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
    e.timeBase = krv::AVRational{st->time_base.num, st->time_base.den};
    e.width = par->width;
    e.height = par->height;
    if (link_.HandToExport(e)) return;
  }

  switch (kind) {
    case krv::KIND_VIDEO:
      if (key || !link_.KeyFramesOnly())
        link_.PushVideo(f.channel, codec, clockMs_, p->data, p->size, par->width, par->height);
      else
        s_.stats.videoSkipped.fetch_add(1);
      return;
    case krv::KIND_AUDIO:
      // Sound keeps its own time: the sound card's played time is compared
      // with the video times, so it must not lag a block behind.
      if (link_.SoundWanted(f.channel)) link_.PushAudio(f.channel, codec, timed ? ownMs : clockMs_, p->data, p->size);
      return;
    default:
      link_.DeliverRecord(p->data, p->size, timed ? ownMs : clockMs_);
      return;
  }
}

void AviReader::Pass() {
  clockSlot_ = ClockSlot();
  for (int i = 0; i < 4; ++i) {
    AviFile& f = files_[i];
    if (!f.Open() || f.ended) continue;
    if (av_read_frame(f.fmt.get(), pkt_.get()) < 0) {
      f.ended = true;
      continue;
    }
    HandlePacket(i, f);
    av_packet_unref(pkt_.get());
    if (link_.Interrupted()) return;
  }
  bool allEnded = true;
  for (const AviFile& f : files_)
    if (f.Open() && !f.ended) allEnded = false;
  if (allEnded) {
    link_.ExportEnded();
    link_.EndOfRecording(LengthMs());
    return;
  }
  if (clockMsChanged_ && !s_.exportPending.load()) {
    clockMsChanged_ = false;
    link_.PushClock(clockMs_, LengthMs());
  }
}

void AviReader::Run() {
  if (!pkt_) return;
  if (s_.aviPath[CurrentChannel(s_)].Length() < 4) return;
  for (;;) {
    if (!link_.WaitGate()) break;
    if (link_.HandleRestart()) continue;
    const int cc = CurrentChannel(s_);
    bool opened = false;
    if (!s_.aviPath[cc].EqualsNoCase(s_.aviOpenPath[cc]) || !AnyOpen()) {
      if (!SwitchFiles()) break;
      opened = true;
    }
    if (!opened && s_.seekPending.exchange(0) != 0) {
      const int exportSeq = s_.exportSeq.load();
      Seek();
      link_.SeekDone(exportSeq);
    }
    Pass();
  }
  CloseFiles();
}

}  // namespace

void RunAviReader(PlayState& state, media::ACEvent& wake) {
  AviReader reader(state, wake);
  reader.Run();
}

}  // namespace playback::detail
