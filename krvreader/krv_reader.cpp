// The KRV reader: opening, packet reading with re-synchronisation, metadata,
// the two key-frame seeks, closing, and the reusable packet buffer.
#include <climits>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "krv.h"
#include "krv_internal.h"

namespace krv {

namespace detail {

RecordingStream* createStream(RecordingContext* ctx, int kind, RecordingStream* storage) {
  if (ctx->nb_streams < 0 || ctx->nb_streams >= kMaxStreams) return nullptr;
  auto* st = storage ? new (&storage[ctx->nb_streams]) RecordingStream{} : new (std::nothrow) RecordingStream{};
  if (!st) return nullptr;
  st->index = ctx->nb_streams;
  st->kind = kind;
  st->start_time = kNoPts;
  st->duration = kNoPts;
  st->bit_rate = 0;
  st->time_base = {1, 1000000};
  st->pts_wrap_bits = 32;
  ctx->streams[ctx->nb_streams++] = st;
  if (kind == KIND_VIDEO) ++ctx->nb_video_streams;
  else if (kind == KIND_AUDIO) ++ctx->nb_audio_streams;
  else if (kind == KIND_DATA) ++ctx->nb_data_streams;
  return st;
}

int createLayoutStreams(RecordingContext* ctx, int layout, RecordingStream* storage) {
  int video = layout >> 5 & 7;
  int audio = layout >> 2 & 7;
  int data = layout & 3;
  for (int i = 0; i < video; ++i)
    if (!ctx->streams[i] && !createStream(ctx, KIND_VIDEO, storage)) return KRV_ENOMEM;
  for (int j = 0; j < audio; ++j)
    if (!createStream(ctx, KIND_AUDIO, storage)) return KRV_ENOMEM;
  for (int k = 0; k < data; ++k)
    if (!createStream(ctx, KIND_DATA, storage)) return KRV_ENOMEM;
  return 0;
}

namespace {

// A re-synchronisation that has searched this far without finding a tag
// (farther than the payloads it may land in) reads on in full blocks until
// it finds one (see resyncFrom).
constexpr int64_t kLongResyncBytes = 256 * 1024;

// Shifts bytes into a 32-bit window until it holds the start code and the
// byte after it is a tag type. Damaged stretches (zeroed sectors, garbage)
// can be long: the buffered bytes are searched in place, jumping from one
// 0xFF (the start code's last byte) to the next, rather than read one call
// at a time.
int resyncFrom(ByteIOContext* pb, uint32_t window, int* type, int fullReadBytes) {
  int64_t scanned = 0;
  // The read size the search began with, given back when it ends.
  struct ReadSize {
    ByteIOContext* pb;
    int size;
    ~ReadSize() { pb->buffer_size = size; }
  } readSize{pb, pb->buffer_size};
  for (;;) {
    const unsigned char* const begin = pb->buf_ptr;
    const unsigned char* const end = pb->buf_end;
    const unsigned char* p = begin;
    // The first four bytes one by one: the start code may begin in the window.
    for (int i = 0; i < 4 && p < end; ++i) {
      const int b = *p++;
      if (window == kStartCode && isTagType(b)) {
        pb->buf_ptr = const_cast<unsigned char*>(p);
        *type = b;
        return 0;
      }
      window = window << 8 | static_cast<uint32_t>(b);
    }
    // From here the four bytes before each byte are in the buffer. p is the
    // next byte that could be a tag type; its 0xFF comes right before it.
    while (p < end) {
      const auto* ff = static_cast<const unsigned char*>(std::memchr(p - 1, 0xFF, static_cast<size_t>(end - (p - 1))));
      if (!ff || ff + 1 >= end) {
        p = end;
        break;
      }
      if (ff[-3] == 0 && ff[-2] == 0 && ff[-1] == 1 && isTagType(ff[1])) {
        pb->buf_ptr = const_cast<unsigned char*>(ff + 2);
        *type = ff[1];
        return 0;
      }
      p = ff + 2;
    }
    if (end - begin >= 4)
      window = static_cast<uint32_t>(end[-4]) << 24 | static_cast<uint32_t>(end[-3]) << 16 |
               static_cast<uint32_t>(end[-2]) << 8 | end[-1];
    pb->buf_ptr = const_cast<unsigned char*>(end);
    // A seek walk reads small blocks; a long damaged stretch is searched in
    // full ones.
    scanned += end - begin;
    if (fullReadBytes > pb->buffer_size && scanned >= kLongResyncBytes) pb->buffer_size = fullReadBytes;
    // The buffer is used up: the next byte refills it (or ends the file).
    const int b = get_byte(pb);
    if (url_feof(pb)) return KRV_EPIPE;
    if (window == kStartCode && isTagType(b)) {
      *type = b;
      return 0;
    }
    window = window << 8 | static_cast<uint32_t>(b);
  }
}

}  // namespace

int readTagStart(ByteIOContext* pb, int* type, int fullReadBytes) {
  uint32_t v = get_be32(pb);
  if (v == kStartCode) {
    *type = get_byte(pb);
    return url_feof(pb) ? KRV_EPIPE : 0;
  }
  if (url_feof(pb)) return KRV_EPIPE;
  // The window starts with the bytes just read, so that a start code that
  // begins inside them (after one to three damaged bytes) is still found.
  return resyncFrom(pb, v, type, fullReadBytes);
}

// ---- Metadata (AMF0) ---------------------------------------------------------

namespace {

constexpr int kAmfNumber = 0, kAmfBool = 1, kAmfString = 2, kAmfObject = 3, kAmfNull = 5, kAmfUndefined = 6,
              kAmfEcmaArray = 8, kAmfObjectEnd = 9, kAmfStrictArray = 10, kAmfDate = 11, kAmfUnsupported = 13;
constexpr int kAmfStringMax = 256;  // strings of this many bytes or more are refused
// Nesting deeper than this is refused: a hostile tag could otherwise recurse
// until the stack runs out.
constexpr int kAmfMaxDepth = 32;

int64_t toInt64(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2e18) return INT64_MAX;
  if (v <= -9.2e18) return INT64_MIN;
  return static_cast<int64_t>(v);
}

int toInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

// A 16-bit length and the bytes; -1 when it is too long for the buffer.
// Inline: the metadata walk reads one per key.
[[gnu::always_inline]] inline int readAmfString(ByteIOContext* pb, char* buf, int bufSize) {
  int len = static_cast<int>(get_be16(pb));
  if (len >= bufSize) {
    url_fskip(pb, len);
    return -1;
  }
  if (len <= 16 && bufSize >= 16 && detail::bufferedBytes(pb) >= 16) {
    // A short string (every key) with 16 bytes buffered: one fixed-size copy
    // instead of a call; the bytes past len are overwritten or left unused.
    std::memcpy(buf, pb->buf_ptr, 16);
    pb->buf_ptr += len;
  } else if (get_buffer(pb, reinterpret_cast<unsigned char*>(buf), len) != len) {
    return -1;
  }
  buf[len] = '\0';
  return len;
}

// The metadata keys the reader acts on. Looked up once per value: the probe
// parses the metadata of every recording of a folder, so the lookup matters.
enum class MetaKey {
  kOther, kFileSize, kStartTime, kDuration, kStreamType, kStreamId, kWidth, kHeight, kFrameRate,
  kVideoDataRate, kAudioCodecId, kVideoCodecId, kAudioSampleSize, kAudioSampleRate, kStereo, kBusNum,
};

// key holds exactly N - 1 bytes equal to name (a constant-size compare the
// compiler writes out inline).
template <std::size_t N>
bool keyIs(const char* key, const char (&name)[N]) {
  return std::memcmp(key, name, N - 1) == 0;
}

// The key of `len` bytes (no NUL among them) that name is.
inline MetaKey lookupMetaKeyOfLength(const char* key, std::size_t len) {
  switch (len) {
    case 5:
      if (keyIs(key, "width")) return MetaKey::kWidth;
      break;
    case 6:
      if (keyIs(key, "height")) return MetaKey::kHeight;
      if (keyIs(key, "stereo")) return MetaKey::kStereo;
      if (keyIs(key, "busnum")) return MetaKey::kBusNum;
      break;
    case 8:
      if (keyIs(key, "filesize")) return MetaKey::kFileSize;
      if (keyIs(key, "duration")) return MetaKey::kDuration;
      if (keyIs(key, "streamid")) return MetaKey::kStreamId;
      break;
    case 9:
      if (keyIs(key, "framerate")) return MetaKey::kFrameRate;
      break;
    case 10:
      if (keyIs(key, "start_time")) return MetaKey::kStartTime;
      if (keyIs(key, "streamtype")) return MetaKey::kStreamType;
      break;
    case 12:
      if (keyIs(key, "audiocodecid")) return MetaKey::kAudioCodecId;
      if (keyIs(key, "videocodecid")) return MetaKey::kVideoCodecId;
      break;
    case 13:
      if (keyIs(key, "videodatarate")) return MetaKey::kVideoDataRate;
      break;
    case 15:
      if (keyIs(key, "audiosamplesize")) return MetaKey::kAudioSampleSize;
      if (keyIs(key, "audiosamplerate")) return MetaKey::kAudioSampleRate;
      break;
    default:
      break;
  }
  return MetaKey::kOther;
}

// The key read into key[0 .. len) (and a NUL after it), compared as a C
// string: a key holding a NUL byte ends there. No name holds a NUL, so the
// length read decides unless the key is unknown at that length.
MetaKey lookupMetaKey(const char* key, std::size_t len) {
  MetaKey id = lookupMetaKeyOfLength(key, len);
  if (id == MetaKey::kOther) {
    std::size_t n = std::strlen(key);
    if (n < len) id = lookupMetaKeyOfLength(key, n);
  }
  return id;
}

inline void applyNumber(RecordingContext* ctx, RecordingStream* st, MetaKey key, double num) {
  switch (key) {
    case MetaKey::kFileSize:
      ctx->file_size = toInt64(num);
      return;
    case MetaKey::kStartTime:
      ctx->start_time = toInt64(num);
      return;
    case MetaKey::kDuration:
      ctx->duration = toInt64(num * 1000.0);  // the key holds milliseconds
      return;
    default:
      break;
  }
  if (!st) return;
  switch (key) {
    case MetaKey::kStreamType:
      st->kind = toInt(num);
      break;
    case MetaKey::kStreamId:
      st->index = toInt(num);
      break;
    case MetaKey::kWidth:
      if (toInt(num) > 0) st->width = toInt(num);
      break;
    case MetaKey::kHeight:
      if (toInt(num) > 0) st->height = toInt(num);
      break;
    case MetaKey::kFrameRate:
      if (toInt(num) > 0) st->fps = toInt(num);
      break;
    case MetaKey::kVideoDataRate: {
      int rate = toInt(num * 1024.0);
      if (rate >= 0) st->bit_rate = rate;
      break;
    }
    case MetaKey::kAudioCodecId:
      if (toInt(num) >= 0) st->codec_id = toInt(num);
      break;
    case MetaKey::kVideoCodecId: {
      // Flash codec numbers 2 and 7; the writer stores the identifiers
      // themselves (22, 28), which name the same codecs.
      int id = toInt(num);
      if (id == 2 || id == CODEC_H263_SORENSON) st->codec_id = CODEC_H263_SORENSON;
      else if (id == 7 || id == CODEC_H264) st->codec_id = CODEC_H264;
      break;
    }
    case MetaKey::kAudioSampleSize: {
      int bits = toInt(num);
      if (bits > 0) st->bits_per_sample = bits;
      if (bits == 8 && (st->codec_id == CODEC_PCM_S16LE || st->codec_id == CODEC_PCM_S16BE))
        st->codec_id = CODEC_PCM_S8;
      break;
    }
    case MetaKey::kAudioSampleRate: {
      int rate = toInt(num);
      if (st->sample_rate == 0 && rate >= 0) {
        if (rate == 44000) rate = 44100;
        else if (rate == 22000) rate = 22050;
        else if (rate == 11000) rate = 11025;
        else if (rate == 5000) rate = 5512;
        st->sample_rate = rate;
      }
      break;
    }
    default:
      break;
  }
}

// Whether a key of len bytes at key can name a file-level value ("filesize",
// "start_time", "duration", "busnum", compared up to a NUL as lookupMetaKey
// does): every such name has at least six bytes and begins with one of these
// three-letter stems (which no stream key of a recording begins with).
inline bool mayNameFileValue(const unsigned char* key, unsigned len) {
  if (len < 6) return false;
  const uint32_t stem = static_cast<uint32_t>(key[0]) << 16 | static_cast<uint32_t>(key[1]) << 8 | key[2];
  return stem == ('f' << 16 | 'i' << 8 | 'l') || stem == ('s' << 16 | 't' << 8 | 'a') ||
         stem == ('d' << 16 | 'u' << 8 | 'r') || stem == ('b' << 16 | 'u' << 8 | 's');
}

// lookupMetaKey of a key of len bytes read in place (no NUL after it).
inline MetaKey lookupMetaKeyInPlace(const char* key, std::size_t len) {
  MetaKey id = lookupMetaKeyOfLength(key, len);
  if (id == MetaKey::kOther) {
    if (const void* nul = std::memchr(key, 0, len))
      id = lookupMetaKeyOfLength(key, static_cast<std::size_t>(static_cast<const char*>(nul) - key));
  }
  return id;
}

// One value of a top-level array's entry whose key is id, as the walk
// applies it: a number, a boolean or a string of type `type`, whose bytes
// (after the type byte) are value[0 .. size).
inline void applyBufferedValue(RecordingContext* ctx, RecordingStream* st, MetaKey id, int type,
                               const unsigned char* value, std::ptrdiff_t size) {
  if (type == kAmfNumber) {
    uint64_t bits;
    std::memcpy(&bits, value, sizeof bits);
    if constexpr (std::endian::native == std::endian::little) bits = __builtin_bswap64(bits);
    double num;
    std::memcpy(&num, &bits, sizeof num);
    applyNumber(ctx, st, id, num);
  } else if (type == kAmfBool) {
    if (st && id == MetaKey::kStereo) st->channels = value[0] > 0 ? 2 : 1;
  } else if (id == MetaKey::kBusNum) {
    // As copyText takes the text: up to its first NUL, at most 255 bytes.
    const char* text = reinterpret_cast<const char*>(value + 2);
    std::size_t n = static_cast<std::size_t>(size - 2);
    if (n > sizeof ctx->busnum - 1) n = sizeof ctx->busnum - 1;
    if (const void* nul = std::memchr(text, 0, n)) n = static_cast<std::size_t>(static_cast<const char*>(nul) - text);
    std::memcpy(ctx->busnum, text, n);
    ctx->busnum[n] = '\0';
  }
}

// The entries of a top-level ECMA array that the buffer holds whole and
// whose value is a number, a boolean or a string (every entry a recorder
// writes), from the current position: applied as the array's walk applies
// them (the key looked up, the value applied to st and the context), read
// in place instead of through a copy of each key. Without a stream (its
// facts not wanted) only a key that can name a file-level value is looked
// up. Stops before the first other entry (another type, a string the walk
// refuses, an entry the buffer does not hold whole) or once the position
// has reached end - 2, where the walk stops looking for entries; the walk
// reads on from there. True when it stopped after the array's end (an empty
// key and the end marker, read as the walk reads them): the array is done.
bool applyBufferedValues(RecordingContext* ctx, RecordingStream* st, int64_t end) {
  ByteIOContext* pb = ctx->pb;
  if (pb->write_flag) return false;
  const unsigned char* p = pb->buf_ptr;
  const unsigned char* const bufEnd = pb->buf_end;
  const int64_t room = end - 2 - url_ftell(pb);
  if (room <= 0) return false;
  const unsigned char* const last = room < bufEnd - p ? p + room : bufEnd;
  while (p < last && bufEnd - p >= 2) {
    const unsigned len = static_cast<unsigned>(p[0]) << 8 | p[1];
    if (len == 0 && bufEnd - p >= 3 && p[2] == kAmfObjectEnd) {
      pb->buf_ptr = const_cast<unsigned char*>(p + 3);
      return true;
    }
    // The value's type byte is at p + typeAt.
    const std::ptrdiff_t typeAt = 2 + static_cast<std::ptrdiff_t>(len);
    if (len == 0 || len >= kAmfStringMax || bufEnd - p < typeAt + 9) break;
    const int type = p[typeAt];
    std::ptrdiff_t entryBytes;
    if (type == kAmfNumber) {
      entryBytes = typeAt + 9;
    } else if (type == kAmfBool) {
      entryBytes = typeAt + 2;
    } else if (type == kAmfString) {
      const unsigned textLen = static_cast<unsigned>(p[typeAt + 1]) << 8 | p[typeAt + 2];
      if (textLen >= kAmfStringMax) break;  // the walk refuses it
      entryBytes = typeAt + 3 + static_cast<std::ptrdiff_t>(textLen);
      if (bufEnd - p < entryBytes) break;
    } else {
      break;
    }
    if (st || mayNameFileValue(p + 2, len)) {
      const MetaKey id = lookupMetaKeyInPlace(reinterpret_cast<const char*>(p + 2), len);
      if (id != MetaKey::kOther) applyBufferedValue(ctx, st, id, type, p + typeAt + 1, entryBytes - typeAt - 1);
    }
    p += entryBytes;
  }
  pb->buf_ptr = const_cast<unsigned char*>(p);
  return false;
}

int parseAmfContainer(RecordingContext* ctx, RecordingStream* st, int type, int64_t end, int depth);

// Walks one value. The values directly inside a top-level ECMA array
// (depth 1) carry their key, looked up by the array, and apply to that
// array's stream; every other value has the key kOther and is stepped over.
// Scalars are read here, inline in the loops that walk the containers (most
// values are numbers); containers recurse through parseAmfContainer.
[[gnu::always_inline]] inline int parseAmfValue(RecordingContext* ctx, RecordingStream* st, MetaKey key, int64_t end,
                                                int depth) {
  ByteIOContext* pb = ctx->pb;
  if (depth > kAmfMaxDepth) return -1;
  int type = get_byte(pb);
  if (url_feof(pb)) return -1;
  if (type == kAmfNumber) {  // most values: tested before the others
    uint64_t bits = get_be64(pb);
    if (key != MetaKey::kOther) {
      double num;
      std::memcpy(&num, &bits, sizeof num);
      applyNumber(ctx, st, key, num);
    }
    return 0;
  }
  switch (type) {
    case kAmfBool: {
      int boolean = get_byte(pb);
      if (st && key == MetaKey::kStereo) st->channels = boolean > 0 ? 2 : 1;
      return 0;
    }
    case kAmfString: {
      char str[kAmfStringMax];
      if (readAmfString(pb, str, sizeof str) < 0) return -1;
      if (key == MetaKey::kBusNum) copyText(ctx->busnum, sizeof ctx->busnum, str);
      return 0;
    }
    case kAmfNull:
    case kAmfUndefined:
    case kAmfUnsupported:
      return 0;
    case kAmfDate:
      url_fskip(pb, 8 + 2);
      return 0;
    case kAmfObject:
    case kAmfEcmaArray:
    case kAmfStrictArray:
      return parseAmfContainer(ctx, st, type, end, depth);
    default:
      return -1;
  }
}

// The rest of a container value whose type byte has been read.
int parseAmfContainer(RecordingContext* ctx, RecordingStream* st, int type, int64_t end, int depth) {
  ByteIOContext* pb = ctx->pb;
  switch (type) {
    case kAmfObject:
      while (url_ftell(pb) < end - 2) {
        unsigned keyLen = get_be16(pb);
        if (url_feof(pb)) return -1;
        if (keyLen == 0) break;
        url_fskip(pb, keyLen);
        if (parseAmfValue(ctx, nullptr, MetaKey::kOther, end, depth + 1) < 0) return -1;
      }
      if (get_byte(pb) != kAmfObjectEnd) return -1;
      return 0;
    case kAmfEcmaArray: {
      url_fskip(pb, 4);  // entry count, not used
      char name[kAmfStringMax];
      int nameLen = 0;
      while (url_ftell(pb) < end - 2 && !url_feof(pb)) {
        if (depth == 0) {
          if (applyBufferedValues(ctx, st, end)) return 0;
          if (!(url_ftell(pb) < end - 2)) break;
        }
        if ((nameLen = readAmfString(pb, name, sizeof name)) <= 0) break;
        MetaKey id = depth == 0 ? lookupMetaKey(name, static_cast<std::size_t>(nameLen)) : MetaKey::kOther;
        if (parseAmfValue(ctx, st, id, end, depth + 1) < 0) return -1;
      }
      if (get_byte(pb) != kAmfObjectEnd) return -1;
      return 0;
    }
    case kAmfStrictArray: {
      uint32_t count = get_be32(pb);
      for (uint32_t i = 0; i < count && url_ftell(pb) < end - 1; ++i) {
        if (url_feof(pb)) return -1;
        if (parseAmfValue(ctx, nullptr, MetaKey::kOther, end, depth + 1) < 0) return -1;
      }
      return 0;
    }
    default:
      return -1;
  }
}


}  // namespace

void parseMetadata(RecordingContext* ctx, int64_t end, int factSlots) {
  ByteIOContext* pb = ctx->pb;
  if (get_byte(pb) != kAmfString) return;
  char name[11];
  if (readAmfString(pb, name, sizeof name) < 0 || std::strcmp(name, "onMetaData") != 0) return;
  // The file-level array belongs to stream 0, then one array per stream.
  if (parseAmfValue(ctx, ctx->streams[0], MetaKey::kOther, end, 0) < 0) return;
  for (int i = 0; i < kMaxStreams; ++i) {
    if (!ctx->streams[i]) continue;
    // A stream whose facts are not wanted is walked all the same (its array
    // may still set file-level values), with no stream to apply them to.
    RecordingStream* st = i < factSlots ? ctx->streams[i] : nullptr;
    if (parseAmfValue(ctx, st, MetaKey::kOther, end, 0) < 0) return;
  }
}

}  // namespace detail

using namespace detail;

// ---- Streams -----------------------------------------------------------------

AVStream* av_new_stream(AVFormatContext* s, int /*id: not stored*/) {
  if (!s || s->nb_streams < 0 || s->nb_streams >= kMaxStreams) return nullptr;
  auto* st = new (std::nothrow) RecordingStream{};
  if (!st) return nullptr;
  st->index = s->nb_streams;
  st->start_time = kNoPts;
  st->duration = kNoPts;
  st->time_base = {1, 90000};
  st->pts_wrap_bits = 33;
  s->streams[s->nb_streams++] = st;
  return st;
}

// ---- Packet buffer -------------------------------------------------------------

namespace {

constexpr int kMinPacketCapacity = 614400;
constexpr int kPacketPadding = 8;

void releasePacket(RecordingPacket* pkt) {
  std::free(pkt->data);
  pkt->data = nullptr;
  pkt->size = 0;
  pkt->capacity = 0;
}

}  // namespace

int packet_alloc(RecordingPacket* pkt, int size) {
  if (!pkt || size < 0 || size > INT_MAX - kPacketPadding) return KRV_EINVAL;
  if (!pkt->data || pkt->capacity < size) {
    std::free(pkt->data);
    pkt->data = nullptr;
    pkt->capacity = 0;
    pkt->size = 0;
    int capacity = size > kMinPacketCapacity ? size : kMinPacketCapacity;
    pkt->data = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(capacity) + kPacketPadding));
    if (!pkt->data) return KRV_ENOMEM;
    std::memset(pkt->data + capacity, 0, kPacketPadding);
    pkt->capacity = capacity;
    pkt->size = capacity;
  }
  pkt->pts = kNoPts;
  pkt->dts = kNoPts;
  pkt->pos = -1;
  pkt->stream_index = 0;
  pkt->flags = 0;
  pkt->duration = 0;
  pkt->destruct = releasePacket;
  return 0;
}

int packet_read(ByteIOContext* pb, RecordingPacket* pkt, int size) {
  int r = packet_alloc(pkt, size);
  if (r < 0) return r;
  pkt->pos = url_ftell(pb);
  int n = get_buffer(pb, pkt->data, size);
  pkt->size = n;
  if (n <= 0) {
    pkt->destruct(pkt);
    return n;
  }
  std::memset(pkt->data + n, 0, kPacketPadding);  // decoders may read a little past the end
  return n;
}

void packet_free(RecordingPacket* pkt) {
  if (pkt && pkt->destruct) pkt->destruct(pkt);
}

// ---- Opening, reading, closing ------------------------------------------------

int krv_read_header(RecordingContext* ctx) {
  if (!ctx || !ctx->pb) return KRV_EIO;
  ByteIOContext* pb = ctx->pb;
  url_fskip(pb, 4);  // signature and version: not checked
  int layout = get_byte(pb);
  if (layout == 0) layout = 0x91;
  int r = createLayoutStreams(ctx, layout);
  if (r < 0) return r;
  int64_t headerSize = get_be32(pb);
  url_fseek(pb, headerSize, SEEK_SET);
  ctx->start_time = 0;
  return 0;
}

int krv_read_open(RecordingContext* ctx) {
  if (!ctx || !ctx->pb) return KRV_EIO;
  krv_seek_keyframe(ctx, 0);
  url_fseek(ctx->pb, 0, SEEK_SET);
  return krv_read_header(ctx);
}

int krv_resync(ByteIOContext* pb, int* type) {
  int t = 0;
  int r = resyncFrom(pb, 0xFFFFFFFFu, &t, 0);
  if (r == 0 && type) *type = t;
  return r;
}

int krv_read_packet(RecordingContext* ctx, RecordingPacket* pkt) {
  if (!ctx || !ctx->pb || !pkt) return KRV_EIO;
  ByteIOContext* pb = ctx->pb;
  for (;;) {
    url_fskip(pb, 4);  // previous tag size
    int type = 0;
    if (readTagStart(pb, &type) < 0) return KRV_EPIPE;
    int size = static_cast<int>(get_be24(pb));
    uint32_t ts = get_be24(pb);
    ts |= static_cast<uint32_t>(get_byte(pb)) << 24;
    if (url_feof(pb)) return KRV_EPIPE;
    int id = static_cast<int>(get_be24(pb));
    if (size == 0) continue;
    int64_t next = url_ftell(pb) + size;

    int kind;
    int flags = 0;
    if (type == kTagData || type == kTagAudio || type == kTagVideo) {
      kind = type == kTagData ? KIND_DATA : type == kTagAudio ? KIND_AUDIO : KIND_VIDEO;
      flags = get_byte(pb);
      --size;
      if (kind == KIND_VIDEO && (flags & 0xF0) == 0x50) {  // video information or command
        url_fseek(pb, next, SEEK_SET);
        continue;
      }
    } else {
      if (type == kTagMeta && size >= kMinMetadataSize) parseMetadata(ctx, next);
      url_fseek(pb, next, SEEK_SET);
      continue;
    }
    if (size == 0) continue;

    RecordingStream* st = nullptr;
    for (int i = 0; i < kMaxStreams && !st; ++i)
      if (ctx->streams[i] && ctx->streams[i]->index == id) st = ctx->streams[i];
    if (!st) {
      st = createStream(ctx, kind);
      if (!st) {  // an eleventh stream
        url_fseek(pb, next, SEEK_SET);
        continue;
      }
      st->index = id;
      ctx->ctx_flags &= ~1;
    }

    int frameType = flags >> 4 & 0x0F;
    if (st->discard >= 48 || (kind == KIND_VIDEO && st->discard >= 32 && frameType != 1) ||
        (kind == KIND_VIDEO && st->discard >= 16 && frameType == 3)) {
      url_fseek(pb, next, SEEK_SET);
      continue;
    }

    if (!pb->is_streamed && ctx->duration < 0) ctx->duration = 0;

    if (kind == KIND_AUDIO) {
      if (st->channels == 0 || st->sample_rate == 0 || st->bits_per_sample == 0) {
        st->channels = (flags & 1) ? 2 : 1;
        st->sample_rate = 44100 << (flags >> 2 & 3) >> 3;
        st->bits_per_sample = (flags & 2) ? 16 : 8;
      }
      if (st->codec_id == CODEC_NONE) {
        switch (flags & 0xF0) {
          case 0x00:
          case 0x30: st->codec_id = st->bits_per_sample == 8 ? CODEC_PCM_S8 : CODEC_PCM_S16LE; break;
          case 0x10: st->codec_id = CODEC_ADPCM_SWF; break;
          case 0x50: st->sample_rate = 8000; break;
          case 0xA0: st->codec_id = CODEC_AAC; break;
          default: break;
        }
      }
    } else if (kind == KIND_VIDEO) {
      int codec = flags & 0x0F;
      if (codec == 2) st->codec_id = CODEC_H263_SORENSON;
      else if (codec == 7) st->codec_id = CODEC_H264;
    }

    int n = packet_read(pb, pkt, size);
    if (n <= 0) return KRV_EIO;
    pkt->dts = pkt->pts = ts;
    pkt->stream_index = id;
    if (kind == KIND_AUDIO || frameType == 1) pkt->flags |= PKT_FLAG_KEY;
    return n;
  }
}

int krv_read_close(RecordingContext* ctx) {
  if (!ctx) return 0;
  for (auto*& st : ctx->streams) {
    delete st;
    st = nullptr;
  }
  ctx->nb_streams = 0;
  ctx->nb_video_streams = 0;
  ctx->nb_audio_streams = 0;
  ctx->nb_data_streams = 0;
  return 0;
}

// ---- Key-frame seeks -------------------------------------------------------------

namespace {

struct SeekTag {
  int type = 0;
  uint32_t size = 0;
  uint32_t ts = 0;
};

// Start code (or re-synchronisation), type, size and timestamp of the tag at
// the current position. False at end of file or for a type that is no tag.
bool readSeekTag(ByteIOContext* pb, SeekTag* t, int fullReadBytes) {
  if (readTagStart(pb, &t->type, fullReadBytes) < 0 || !isTagType(t->type)) return false;
  t->size = get_be24(pb);
  t->ts = get_be24(pb);
  t->ts |= static_cast<uint32_t>(get_byte(pb)) << 24;
  return !url_feof(pb);
}

// While a seek walks, the byte reader fills at most this many bytes at a
// time: the walk needs the 20 bytes of each tag's head (previous tag size,
// header, flags) and hops over the payloads, so a full buffer per tag would
// read every payload it passes (a second of four channels is about half a
// megabyte). Small neighbouring tags still share one read.
constexpr int kSeekReadBytes = 256;

// Shrinks the byte reader's reads for the life of the walk. The buffer
// itself stays (a caller's buffer is never replaced); the packet reads after
// the seek fill it whole again.
class SeekReads {
 public:
  explicit SeekReads(ByteIOContext* pb) : pb_(pb), size_(pb->buffer_size) {
    if (!pb_->write_flag && size_ > kSeekReadBytes) pb_->buffer_size = kSeekReadBytes;
  }
  ~SeekReads() { pb_->buffer_size = size_; }
  int FullSize() const { return size_; }
  SeekReads(const SeekReads&) = delete;
  SeekReads& operator=(const SeekReads&) = delete;

 private:
  ByteIOContext* pb_;
  int size_;
};

// Steps 2 to 5 of the seek: the tag at the current position decides between
// the forward and the backward walk; whole seconds are compared.
bool seekFromHere(ByteIOContext* pb, int64_t target, int64_t start) {
  SeekReads small(pb);
  const int64_t targetSec = target / 1000000;
  bool found = false;
  int64_t keyPos = 0;
  SeekTag t;
  if (readSeekTag(pb, &t, small.FullSize())) {
    url_fskip(pb, static_cast<int64_t>(t.size) + 3);  // stream identifier and data
    if (t.ts / 1000000 < targetSec) {
      for (;;) {
        url_fskip(pb, 4);
        if (!readSeekTag(pb, &t, small.FullSize())) break;
        get_be24(pb);  // stream identifier
        if (t.size == 0) continue;
        if (t.ts / 1000000 > targetSec) break;
        int64_t rest = t.size;
        if (t.type == kTagVideo) {
          int flags = get_byte(pb);
          --rest;
          if (flags == 0x10) {
            found = true;
            keyPos = url_ftell(pb) - 20;  // its previous tag size field
          }
        }
        url_fskip(pb, rest);
      }
    } else {
      int64_t p = url_ftell(pb);
      uint32_t prevSize = get_be32(pb);
      while (prevSize != 0) {
        int64_t q = p - prevSize - 4;  // previous tag size field of the tag before
        if (q <= 0 || url_fseek(pb, q, SEEK_SET) < 0) break;
        uint32_t before = get_be32(pb);
        int type = 0;
        if (readTagStart(pb, &type, small.FullSize()) < 0) break;
        uint32_t size = get_be24(pb);
        if (prevSize == size + kHeaderFieldsSize) {
          uint32_t ts = get_be24(pb);
          ts |= static_cast<uint32_t>(get_byte(pb)) << 24;
          get_be24(pb);  // stream identifier
          if (type == kTagVideo && get_byte(pb) == 0x10 && ts / 1000000 <= targetSec) {
            found = true;
            keyPos = url_ftell(pb) - 20;
            break;
          }
        }
        prevSize = before;
        p = q;
      }
    }
  }
  url_fseek(pb, found ? keyPos : start, SEEK_SET);
  return found;
}

}  // namespace

bool krv_seek_keyframe(RecordingContext* ctx, int64_t target_us) {
  if (!ctx || !ctx->pb || target_us < 0) return false;
  ByteIOContext* pb = ctx->pb;
  int64_t start = url_ftell(pb);
  url_fskip(pb, 4);
  return seekFromHere(pb, target_us, start);
}

bool krv_seek_keyframe_estimate(RecordingContext* ctx, int64_t target_us, int64_t file_size, int64_t duration_us) {
  if (!ctx || !ctx->pb) return false;
  ByteIOContext* pb = ctx->pb;
  if (target_us == 0) {
    url_fseek(pb, 0, SEEK_SET);  // the next read re-synchronises past the file header
    return true;
  }
  if (target_us < 0) return false;
  int64_t start = url_ftell(pb);
  url_fskip(pb, 4);
  if (file_size <= 0) file_size = url_fsize(pb);
  if (file_size > 0 && duration_us > target_us) {
    // Whole seconds, so the estimate is a multiple of 1,000,000 bytes. Formed
    // in 128 bits: the file size may come from a hostile "filesize" value.
    __int128 estimate = static_cast<__int128>(file_size) * (target_us / 1000000) / duration_us * 1000000;
    url_fseek(pb, estimate > INT64_MAX ? INT64_MAX : static_cast<int64_t>(estimate), SEEK_SET);
  }
  return seekFromHere(pb, target_us, start);
}

}  // namespace krv
