// The KRV recording container: records shared by the reader, the writer, the
// probe and the reader threads, and the operations on them.
//
// A KRV recording holds one recording period: up to ten streams (video,
// audio, vehicle data) interleaved as timed tags after a small file header
// and one metadata tag. Container timestamps are unsigned microseconds.
#pragma once

#include <cstdint>

#include "byte_io.h"

namespace krv {

constexpr int kMaxStreams = 10;
constexpr int64_t kNoPts = INT64_MIN;  // "no value" of pts, dts, start time, duration

// Codec identifiers as the container reports them.
enum CodecId : int {
  CODEC_NONE = 0,
  CODEC_H263_SORENSON = 22,
  CODEC_H264 = 28,
  CODEC_PCM_S16LE = 65536,
  CODEC_PCM_S16BE = 65537,
  CODEC_PCM_S8 = 65540,
  CODEC_HISI_VOICE = 69632,
  CODEC_ADPCM_MS = 69638,
  CODEC_ADPCM_SWF = 69645,
  CODEC_MP3 = 86017,
  CODEC_AAC = 86018,
};

enum StreamKind : int { KIND_VIDEO = 0, KIND_AUDIO = 1, KIND_DATA = 2 };

struct RecordingStream {
  int index;  // stream identifier (table index on creation; "streamid" or a tag's identifier may replace it)
  int kind;   // StreamKind
  int codec_id;
  int bit_rate;
  AVRational time_base;  // 1/1000000 for KRV streams
  int pts_wrap_bits;     // 32 for KRV streams
  int width;
  int height;
  int bits_per_sample;
  int sample_rate;
  int channels;
  int fps;
  int discard;  // 0 everywhere in this system
  int64_t start_time;  // kNoPts on creation
  int64_t duration;    // kNoPts on creation
  AVRational r_frame_rate;  // writer input: frame rate as a fraction (0/0 = use time base)
};

struct RecordingPacket {
  int64_t pts;  // kNoPts = no value
  int64_t dts;
  unsigned char* data;
  int size;
  int stream_index;  // the tag's stream identifier
  int flags;         // bit 0: key frame
  int duration;
  int64_t pos;  // file position of the payload, -1 when unknown
  void (*destruct)(RecordingPacket* pkt);
  int capacity;  // bytes allocated for data (plus 8 zero padding bytes)
};
constexpr int PKT_FLAG_KEY = 1;

struct RecordingContext {
  const void* iformat;
  const void* oformat;
  void* priv_data;  // writer state while writing
  ByteIOContext* pb;
  int nb_streams;
  int nb_audio_streams;
  int nb_video_streams;
  int nb_data_streams;
  RecordingStream* streams[kMaxStreams];
  char filename[1024];
  int ctx_flags;  // bit 0: streams may appear while reading
  int64_t start_time;  // seconds since 1970
  int64_t duration;    // microseconds, 0 = unknown
  int64_t file_size;
  int bit_rate;        // never filled by the KRV reader
  char busnum[256];    // the vehicle's bus number
};
using AVFormatContext = RecordingContext;
using AVStream = RecordingStream;

// Null when the context already holds 10 streams or memory runs out.
// Otherwise a zeroed stream with index = current stream count, start time and
// duration kNoPts, time base 1/90000, 33-bit timestamps. The id is not stored.
AVStream* av_new_stream(AVFormatContext* s, int id);

// ---- Reader ---------------------------------------------------------------
int krv_read_header(RecordingContext* ctx);                    // 0 or -12
int krv_read_packet(RecordingContext* ctx, RecordingPacket* pkt);  // size > 0, -32 at end, -5
int krv_read_close(RecordingContext* ctx);                     // frees the streams; not pb, not the packet
// The opening of the reader thread on an open ctx->pb: the key-frame seek to
// 0 the recorder's software makes, then the header, read from the file's
// start whatever the seek found (a file whose first tag is a key frame at
// second 0 leaves the seek on that tag). The result of krv_read_header.
int krv_read_open(RecordingContext* ctx);
bool krv_seek_keyframe(RecordingContext* ctx, int64_t target_us);
bool krv_seek_keyframe_estimate(RecordingContext* ctx, int64_t target_us, int64_t file_size, int64_t duration_us);
int krv_resync(ByteIOContext* pb, int* type);  // 0 with the next tag's type, -32 at end of file

// Every output may be null. Returns 0 (outputs untouched when the file does
// not open), or -12 when a stream could not be allocated.
int krv_probe_info(const char* filename, int64_t* start_time, int64_t* duration_us, int64_t* total_bit_rate,
                   char* busnum, int busnum_len, int* widths, int widths_count, int* heights, int heights_count,
                   int* video_bit_rates, int video_bit_rates_count, int* audio_bit_rates, int audio_bit_rates_count,
                   int* frame_rates, int frame_rates_count);

// What krv_probe learned of one recording: the facts krv_probe_info hands
// out, all at once, with the file's size.
struct KrvProbeStream {
  int kind;  // StreamKind, after the metadata's "streamtype"
  int width;
  int height;
  int bit_rate;
  int fps;
};
struct KrvProbeResult {
  int64_t start_time;   // seconds since 1970; 0 when the metadata has none
  int64_t duration_us;  // 0 when unknown; never negative
  int64_t file_size;    // bytes, as the file was when the probe opened it; -1 when not known
  int bit_rate;         // total bit rate: never set by the KRV reader, so 0
  int nb_streams;       // streams[0 .. nb_streams - 1] are filled, in index order
  int nb_video_streams; // the counts the layout byte declares (none for a layout byte of 0):
  int nb_audio_streams; //   video streams come first, then audio, then data
  int nb_data_streams;
  KrvProbeStream streams[kMaxStreams];
  char busnum[256];  // the vehicle's bus number, "" when absent
};

// The information probe in one call. *out is cleared first. 0 with *out
// filled; KRV_ENOENT when the file does not open (file_size -1);
// KRV_ENOMEM when the layout asks for more than 10 streams (only file_size
// filled); KRV_EINVAL without out. The size comes from what opening the
// file learned, so a caller that wants it need not ask the file system.
int krv_probe(const char* filename, KrvProbeResult* out);
// krv_probe of the file `name` in the folder open as dirfd (a descriptor the
// caller keeps open): a name, not a path, opened by the "file" protocol
// whatever it looks like. A folder scan that has each folder open saves the
// kernel a path lookup per file. KRV_ENOENT for a negative dirfd.
int krv_probe_at(int dirfd, const char* name, KrvProbeResult* out);
// krv_probe_at for a list row, which shows the facts of the first
// video_streams video streams only (all streams when negative): the
// metadata arrays of the other streams are walked for the file-level values
// alone (duration, start time, bus number), so those streams keep the kind
// the layout gives them and no facts. Everything else as krv_probe_at.
int krv_probe_video_at(int dirfd, const char* name, int video_streams, KrvProbeResult* out);
// krv_probe_video_at of a name that the caller's folder listing showed to
// be a regular file (its d_type, or a stat, said so): the file is opened and
// read without asking the file system what it is, and file_size stays -1 (a
// caller that wants the size asks for it when it needs it). Should the name
// no longer be a regular file, it reads as a file without a recording in it.
int krv_probe_regular_at(int dirfd, const char* name, int video_streams, KrvProbeResult* out);
// The same for a path, as krv_probe opens it.
int krv_probe_video(const char* filename, int video_streams, KrvProbeResult* out);

// The stream counts the probe works with: those the layout byte declares (none
// for a layout byte of 0). 0, KRV_ENOENT when the file does not open, or
// KRV_ENOMEM when the layout asks for more than 10 streams.
int krv_probe_counts(const char* filename, int* video, int* audio, int* data);

// ---- Packet buffer ---------------------------------------------------------
int packet_alloc(RecordingPacket* pkt, int size);
int packet_read(ByteIOContext* pb, RecordingPacket* pkt, int size);
void packet_free(RecordingPacket* pkt);  // calls the release routine

// ---- Writer ---------------------------------------------------------------
// The caller creates the streams (av_new_stream; kind, index, codec and the
// stream facts filled in) and opens ctx->pb for writing. "start_time" is
// ctx->start_time when above 0, else the current time; a non-empty
// ctx->busnum is written as "busnum". Audio codecs: 65536, 65537, 65540,
// 69632, 69638, 69645, 86017; rates 5512, 8000, 11025, 22050, 44100.
// After the trailer, krv_read_close frees the streams.
// 0; -1 for streams the format cannot express (an audio rate or codec it has
// no flags for, more than 7 video, 7 audio or 3 data streams), with nothing
// written; KRV_EIO when the byte writer reports an error.
int krv_write_header(RecordingContext* ctx);
// 0, or KRV_EINVAL (nothing written) for a packet the format cannot carry:
// a stream that is not video, audio or data, an empty audio or data payload,
// a payload above 0xFFFFFE bytes, a dts that is kNoPts or outside 0..2^32-1 us.
int krv_write_packet(RecordingContext* ctx, const RecordingPacket* pkt);
int krv_write_trailer(RecordingContext* ctx);  // 0 (KRV_EIO on a write error); frees the writer state

}  // namespace krv
