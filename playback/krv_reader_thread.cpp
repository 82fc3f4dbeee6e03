// The KRV reader thread: one recording, all channels in one file.
#include <cerrno>
#include <cstring>
#include <memory>

#include "krvreader/krv.h"
#include "krvreader/reader.h"
#include "media/ac_log.h"
#include "playback/reader_link.h"
#include "playback/reader_threads_internal.h"
#include "krvreader/record_start.h"

namespace playback::detail {

namespace {

// The stream identifiers whose packets belong to channels 0-3.
constexpr int kVideoIds[4] = {0, 1, 2, 3};
constexpr int kAudioIds[4] = {4, 5, 6, 7};

int channelOf(int id, const int (&table)[4]) {
  if (id < 0 || id >= krv::kMaxStreams) return -1;
  for (int c = 0; c < 4; ++c)
    if (table[c] == id) return c;
  return -1;
}

class KrvReader {
 public:
  KrvReader(PlayState& s, media::ACEvent& wake) : s_(s), link_(s, s.gates.krv, wake) {}

  void Run();

 private:
  bool SwitchFiles(const char* path);
  void Seek();
  void Packet();
  int64_t LengthMs() const { return file_.DurationUs() > 0 ? file_.DurationUs() / 1000 : 0; }

  PlayState& s_;
  ReaderLink link_;
  krv::Reader file_;
  char path_[SharedPath::kCapacity] = {};
  int64_t packets_ = 0;  // of a known stream in this file; -1 once "none" was said
};

// Step 3: the window named another recording. False when it does not open.
bool KrvReader::SwitchFiles(const char* path) {
  if (file_.IsOpen()) link_.LeaveRecording(LengthMs());
  // A fresh context for every file: the stream table and the metadata facts
  // (duration above all) of the previous recording must not carry over.
  const int64_t start = krv::RecordStartFromName(path);
  if (!file_.Open(path)) {  // -12 (too many streams) keeps the streams made; reading goes on
    media::LogLine(media::LogLevel::kError, "reader", "cannot open %s: %s", path, std::strerror(errno));
    return false;
  }
  s_.krvOpenPath.Set(path);
  packets_ = 0;
  link_.EnterRecording(start, LengthMs());
  return true;
}

// Step 4: a seek request, carried out only when the duration is known; the
// seek of an export is carried out in any case (the exact key-frame seek
// when the duration is unknown).
void KrvReader::Seek() {
  const int seconds = s_.seekTarget.load();
  const bool exporting = s_.exportPending.load() != 0;
  if (file_.DurationUs() == 0 && !exporting) return;
  link_.ResetForSeek();
  krv::AVRational base{1, 1000000};
  for (krv::RecordingStream* st : file_.Context()->streams)
    if (st) {
      base = st->time_base;
      break;
    }
  if (base.num <= 0 || base.den <= 0) base = {1, 1000000};
  const int64_t target = krv::av_rescale_q(static_cast<int64_t>(seconds) * 1000000, krv::AVRational{1, 1000000}, base);
  if (file_.DurationUs() == 0)
    file_.SeekKeyframe(target);
  else
    file_.SeekKeyframeEstimate(target);
}

// Steps 5 to 8: one packet.
void KrvReader::Packet() {
  const int r = file_.Next();
  if (r == krv::KRV_EPIPE) {
    if (packets_ == 0) {
      // Said once per file: a file with nothing to play would otherwise end
      // in silence.
      media::LogLine(media::LogLevel::kError, "reader", "no packet to play in %s", path_);
      packets_ = -1;
    }
    link_.ExportEnded();
    link_.EndOfRecording(LengthMs());
    return;
  }
  if (r <= 0) return;  // a payload that could not be read; the next read goes on

  const krv::RecordingPacket& pkt = file_.Packet();
  const krv::RecordingStream* st = file_.PacketStream();
  if (!st) return;
  if (packets_ >= 0) ++packets_;

  const int64_t timeMs = pkt.dts / 1000;
  const bool key = (pkt.flags & krv::PKT_FLAG_KEY) != 0;
  const int channel = st->kind == krv::KIND_VIDEO   ? channelOf(st->index, kVideoIds)
                      : st->kind == krv::KIND_AUDIO ? channelOf(st->index, kAudioIds)
                                               : -1;
  if (s_.exportPending.load()) {
    ExportPacket e;
    e.fileKind = PlayState::kKrv;
    e.channel = channel;
    e.streamKind = st->kind;
    e.codecId = st->codec_id;
    e.data = pkt.data;
    e.size = pkt.size;
    e.key = key;
    e.timeMs = timeMs;
    e.dts = pkt.dts;
    e.timeBase = st->time_base;
    e.width = st->width;
    e.height = st->height;
    e.framesPerSecond = st->fps;
    if (link_.HandToExport(e)) return;
  }

  switch (st->kind) {
    case krv::KIND_VIDEO:
      if (channel < 0) return;
      if (key || !link_.KeyFramesOnly()) {
        if (!link_.PushVideo(channel, st->codec_id, timeMs, pkt.data, pkt.size, st->width, st->height)) return;
      } else {
        s_.stats.videoSkipped.fetch_add(1);
      }
      // Every video time goes to the clock, passed or not, so that fast
      // playback is paced by all of them.
      link_.PushClock(timeMs, LengthMs());
      return;
    case krv::KIND_AUDIO:
      if (channel >= 0 && link_.SoundWanted(channel))
        link_.PushAudio(channel, st->codec_id, timeMs, pkt.data, pkt.size);
      return;
    case krv::KIND_DATA:
      link_.DeliverRecord(pkt.data, pkt.size, timeMs);
      return;
    default:
      return;
  }
}

void KrvReader::Run() {
  if (s_.krvPath.Length() < 4) return;
  for (;;) {
    if (!link_.WaitGate()) break;
    if (link_.HandleRestart()) continue;
    bool opened = false;
    if (!s_.krvPath.EqualsNoCase(s_.krvOpenPath) || !file_.IsOpen()) {
      s_.krvPath.CopyTo(path_, sizeof path_);
      if (!SwitchFiles(path_)) break;
      opened = true;
    }
    if (!opened && s_.seekPending.exchange(0) != 0) {
      const int exportSeq = s_.exportSeq.load();
      Seek();
      link_.SeekDone(exportSeq);
    }
    Packet();
  }
}

}  // namespace

void RunKrvReader(PlayState& state, media::ACEvent& wake) {
  KrvReader reader(state, wake);
  reader.Run();
}

}  // namespace playback::detail
