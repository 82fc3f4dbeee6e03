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

#include <cstdint>
#include <cstdio>  // SEEK_SET, SEEK_CUR for url_fseek

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
int get_byte(ByteIOContext* s);  // 0 at end of data, with eof_reached set
unsigned int get_be16(ByteIOContext* s);
unsigned int get_be24(ByteIOContext* s);
unsigned int get_be32(ByteIOContext* s);
uint64_t get_be64(ByteIOContext* s);
unsigned int get_le16(ByteIOContext* s);
unsigned int get_le24(ByteIOContext* s);
unsigned int get_le32(ByteIOContext* s);
uint64_t get_le64(ByteIOContext* s);
int get_buffer(ByteIOContext* s, unsigned char* buf, int size);  // count read
void url_fskip(ByteIOContext* s, int64_t n);
int64_t url_fseek(ByteIOContext* s, int64_t offset, int whence);  // whence 0 absolute, 1 relative
int64_t url_ftell(ByteIOContext* s);
int64_t url_fsize(ByteIOContext* s);
int url_feof(ByteIOContext* s);
int url_ferror(ByteIOContext* s);

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
