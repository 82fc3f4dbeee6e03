// Buffered byte reader/writer over a small table of protocols.
//
// All file access of the container code goes through a ByteIOContext that wraps
// a URLHandle opened by one entry of the protocol list. The only built-in
// protocol is "file". These entry points keep the names the live-view library
// links against; they live in namespace krv so that they never collide with
// the distribution's libavformat/libavutil symbols of the same name.
//
// Error numbers are negated system error codes: -2 no such file or protocol,
// -5 input/output error, -12 out of memory, -32 end of file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // SEEK_SET, SEEK_CUR for url_fseek
#include <cstring>

namespace krv {

enum : int {
  KRV_ENOENT = -2,
  KRV_EIO = -5,
  KRV_ENOMEM = -12,
  KRV_EINVAL = -22,  // a call the container cannot carry out (bad argument, value out of range)
  KRV_EPIPE = -32,   // end of file
};

// Open flags.
enum : int { URL_RDONLY = 0, URL_WRONLY = 1, URL_RDWR = 2 };

struct AVRational {
  int32_t num;
  int32_t den;
};

struct URLHandle;

struct URLProtocol {
  const char* name;
  int (*url_open)(URLHandle* h, const char* filename, int flags);
  int (*url_read)(URLHandle* h, unsigned char* buf, int size);
  int (*url_write)(URLHandle* h, const unsigned char* buf, int size);
  int64_t (*url_seek)(URLHandle* h, int64_t pos, int whence);  // whence: 0 set, 1 cur, 2 end, 0x10000 size
  int (*url_close)(URLHandle* h);
  URLProtocol* next;
  int (*url_read_pause)(URLHandle* h, int pause);
  int64_t (*url_read_seek)(URLHandle* h, int stream_index, int64_t timestamp, int flags);
};

struct URLHandle {
  URLProtocol* prot;
  int flags;
  int is_streamed;      // 1 when the protocol cannot seek
  int max_packet_size;  // 0 = no limit
  void* priv_data;
  char* filename;       // stored after the handle in the same allocation
};

struct ByteIOContext {
  unsigned char* buffer;
  int buffer_size;
  unsigned char* buf_ptr;  // read/write position in the buffer
  unsigned char* buf_end;  // end of valid data in the buffer (reading)
  void* opaque;            // the URLHandle
  int (*read_packet)(void* opaque, unsigned char* buf, int size);
  int (*write_packet)(void* opaque, unsigned char* buf, int size);
  int64_t (*seek)(void* opaque, int64_t offset, int whence);
  int64_t pos;  // file position of the end of the buffer
  int must_flush;
  int eof_reached;
  int write_flag;
  int is_streamed;
  int max_packet_size;
  unsigned long checksum;
  unsigned char* checksum_ptr;
  unsigned long (*update_checksum)(unsigned long checksum, const unsigned char* buf, unsigned int size);
  int error;
  int (*read_pause)(void* opaque, int pause);
  int64_t (*read_seek)(void* opaque, int stream_index, int64_t timestamp, int flags);
};

// ---- The exported entry points -------------------------------------------
int url_fopen(ByteIOContext** out, const char* filename, int flags);
ByteIOContext* url_open_file(const char* filename, int flags);
int url_setbufsize(ByteIOContext* s, int size);
int url_fclose(ByteIOContext* s);  // does not flush
int register_protocol(URLProtocol* p);
// av_new_stream is declared in krv.h (it needs the recording context).
int64_t av_rescale_q(int64_t a, AVRational bq, AVRational cq);  // round to nearest, halves away from zero

// ---- Reading ---------------------------------------------------------------
// The reads parsers make most (single bytes, the format's big-endian fields,
// short blocks, position and end-of-file tests) are inline: served straight
// from the buffer when it holds the bytes asked for, else by the out-of-line
// path that refills it. Both paths give the same results.
namespace detail {
int getByteRefill(ByteIOContext* s);  // get_byte when the buffer is empty
unsigned int getBe16Slow(ByteIOContext* s);
unsigned int getBe24Slow(ByteIOContext* s);
unsigned int getBe32Slow(ByteIOContext* s);
uint64_t getBe64Slow(ByteIOContext* s);
int getBufferSlow(ByteIOContext* s, unsigned char* buf, int size);
// Bytes the buffer still holds for reading (negative while writing).
inline std::ptrdiff_t bufferedBytes(const ByteIOContext* s) { return s->buf_end - s->buf_ptr; }
}  // namespace detail

// 0 at end of data, with eof_reached set.
inline int get_byte(ByteIOContext* s) {
  if (s->buf_ptr < s->buf_end) return *s->buf_ptr++;
  return detail::getByteRefill(s);
}

inline unsigned int get_be16(ByteIOContext* s) {
  if (detail::bufferedBytes(s) < 2) return detail::getBe16Slow(s);
  const unsigned char* p = s->buf_ptr;
  s->buf_ptr += 2;
  return static_cast<unsigned>(p[0]) << 8 | p[1];
}

inline unsigned int get_be24(ByteIOContext* s) {
  if (detail::bufferedBytes(s) < 3) return detail::getBe24Slow(s);
  const unsigned char* p = s->buf_ptr;
  s->buf_ptr += 3;
  return static_cast<unsigned>(p[0]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[2];
}

inline unsigned int get_be32(ByteIOContext* s) {
  if (detail::bufferedBytes(s) < 4) return detail::getBe32Slow(s);
  const unsigned char* p = s->buf_ptr;
  s->buf_ptr += 4;
  return static_cast<unsigned>(p[0]) << 24 | static_cast<unsigned>(p[1]) << 16 | static_cast<unsigned>(p[2]) << 8 |
         p[3];
}

inline uint64_t get_be64(ByteIOContext* s) {
  if (detail::bufferedBytes(s) < 8) return detail::getBe64Slow(s);
  uint64_t v;
  std::memcpy(&v, s->buf_ptr, sizeof v);
  s->buf_ptr += 8;
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

unsigned int get_le16(ByteIOContext* s);
unsigned int get_le24(ByteIOContext* s);
unsigned int get_le32(ByteIOContext* s);
uint64_t get_le64(ByteIOContext* s);

// The count read.
inline int get_buffer(ByteIOContext* s, unsigned char* buf, int size) {
  if (size < 0 || detail::bufferedBytes(s) < size) return detail::getBufferSlow(s, buf, size);
  std::memcpy(buf, s->buf_ptr, static_cast<size_t>(size));
  s->buf_ptr += size;
  return size;
}

int64_t url_fseek(ByteIOContext* s, int64_t offset, int whence);  // whence 0 absolute, 1 relative

inline void url_fskip(ByteIOContext* s, int64_t n) {
  // A skip inside the buffered data is what url_fseek does for it.
  if (!s->write_flag && n >= 0 && n <= detail::bufferedBytes(s)) {
    s->buf_ptr += n;
    s->eof_reached = 0;
    return;
  }
  url_fseek(s, n, SEEK_CUR);
}

inline int64_t url_ftell(ByteIOContext* s) {
  if (s->write_flag) return s->pos + (s->buf_ptr - s->buffer);
  return s->pos - (s->buf_end - s->buf_ptr);
}

int64_t url_fsize(ByteIOContext* s);
inline int url_feof(ByteIOContext* s) { return s->eof_reached; }
inline int url_ferror(ByteIOContext* s) { return s->error; }

// ---- Writing ---------------------------------------------------------------
void put_byte(ByteIOContext* s, int b);
void put_be16(ByteIOContext* s, unsigned int v);
void put_be24(ByteIOContext* s, unsigned int v);
void put_be32(ByteIOContext* s, unsigned int v);
void put_be64(ByteIOContext* s, uint64_t v);
void put_le16(ByteIOContext* s, unsigned int v);
void put_le32(ByteIOContext* s, unsigned int v);
void put_tag(ByteIOContext* s, const char* tag);  // 4 characters
void put_buffer(ByteIOContext* s, const unsigned char* buf, int size);
void put_flush_packet(ByteIOContext* s);

}  // namespace krv
