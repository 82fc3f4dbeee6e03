// The buffered byte reader/writer and the protocol list.
//
// A ByteIOContext keeps one buffer over a URLHandle. While reading, `pos` is
// the file position of the end of the valid data (buf_end) and buf_ptr walks
// towards it; while writing, `pos` is the file position of the buffer's start
// and buf_ptr is where the next byte goes.
#include "byte_io.h"
#include "krv_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace krv {

namespace {

constexpr int kDefaultBufferSize = 32768;
// Forward seeks shorter than this are served by reading.
constexpr int64_t kShortSeekBytes = 4096;
constexpr int kSeekSize = 0x10000;  // whence asking a protocol for the size
// Set in a handle's flags by the "file" protocol's open when the file is
// known to seek, so that the opener skips its trial seek; cleared after.
constexpr int kFlagKnownSeekable = 0x40000000;
// Set in a handle's flags for its whole life when the handle, its context
// and the file's state live in a caller's OpenStorage: nothing is freed.
constexpr int kFlagInStorage = 0x20000000;

// ---- The "file" protocol ---------------------------------------------------

// The "file" protocol's private data: the descriptor, and the size the file
// had when it was opened (what the opener's fstat saw anyway), so that a
// caller wanting it need not ask the file system again.
struct FileState {
  int fd;
  int64_t sizeAtOpen;  // -1 unless a regular file
};

int fileFd(URLHandle* h) { return static_cast<FileState*>(h->priv_data)->fd; }

// Opens filename (relative to the folder dirFd, or to the working folder
// for AT_FDCWD) and refuses folders. A file opened for reading that the
// caller vouches for as a regular file is known to seek and is not asked
// what it is (its size stays unknown): a folder scan opens thousands of
// files its listing already typed, and the fstat was a quarter of the
// system calls per file.
int fileOpenAt(URLHandle* h, int dirFd, const char* filename, int flags, bool regularFile = false) {
  int access = O_RDONLY;
  if (flags == URL_WRONLY) access = O_WRONLY | O_CREAT | O_TRUNC;
  else if (flags == URL_RDWR) access = O_RDWR | O_CREAT | O_TRUNC;
  int fd = ::openat(dirFd, filename, access | O_CLOEXEC, 0666);
  if (fd < 0) return -errno;
  int64_t size = -1;
  struct stat st;
  if (regularFile && access == O_RDONLY) {
    // Should the name have become a folder since the listing, reading it
    // fails and the file reads as empty.
    h->flags |= kFlagKnownSeekable;
  } else if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      return KRV_ENOENT;
    }
    // A regular file or a block device seeks; the opener need not try.
    if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) h->flags |= kFlagKnownSeekable;
    if (S_ISREG(st.st_mode)) size = static_cast<int64_t>(st.st_size);
  }
  auto* state = (h->flags & kFlagInStorage) ? static_cast<FileState*>(h->priv_data)
                                             : static_cast<FileState*>(std::malloc(sizeof(FileState)));
  if (!state) {
    ::close(fd);
    return KRV_ENOMEM;
  }
  state->fd = fd;
  state->sizeAtOpen = size;
  h->priv_data = state;
  return 0;
}

int fileOpen(URLHandle* h, const char* filename, int flags) {
  if (std::strncmp(filename, "file:", 5) == 0) filename += 5;
  return fileOpenAt(h, AT_FDCWD, filename, flags);
}

int fileRead(URLHandle* h, unsigned char* buf, int size) {
  for (;;) {
    ssize_t n = ::read(fileFd(h), buf, static_cast<size_t>(size));
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return KRV_EIO;
  }
}

int fileWrite(URLHandle* h, const unsigned char* buf, int size) {
  int done = 0;
  while (done < size) {
    ssize_t n = ::write(fileFd(h), buf + done, static_cast<size_t>(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return KRV_EIO;
    }
    done += static_cast<int>(n);
  }
  return done;
}

int64_t fileSeek(URLHandle* h, int64_t pos, int whence) {
  if (whence == kSeekSize) {
    struct stat st;
    if (::fstat(fileFd(h), &st) < 0) return KRV_EIO;
    return st.st_size;
  }
  off_t r = ::lseek(fileFd(h), static_cast<off_t>(pos), whence);
  return r < 0 ? -errno : static_cast<int64_t>(r);
}

int fileClose(URLHandle* h) {
  int r = ::close(fileFd(h)) < 0 ? KRV_EIO : 0;
  if (!(h->flags & kFlagInStorage)) std::free(h->priv_data);
  h->priv_data = nullptr;
  return r;
}

URLProtocol fileProtocol = {"file", fileOpen, fileRead, fileWrite, fileSeek, fileClose, nullptr, nullptr, nullptr};

// The list starts with "file"; register_protocol appends.
URLProtocol* firstProtocol = &fileProtocol;

// The protocol named by the prefix before ':' when it is made of at least two
// letters, else "file". Null when the named protocol is not in the list.
URLProtocol* findProtocol(const char* filename) {
  size_t n = 0;
  while (std::isalpha(static_cast<unsigned char>(filename[n]))) ++n;
  const char* name = "file";
  size_t nameLen = 4;
  if (filename[n] == ':' && n >= 2) {
    name = filename;
    nameLen = n;
  }
  for (URLProtocol* p = firstProtocol; p; p = p->next)
    if (std::strlen(p->name) == nameLen && std::strncmp(p->name, name, nameLen) == 0) return p;
  return nullptr;
}

// ---- Glue between the ByteIOContext and its URLHandle ----------------------

int handleRead(void* opaque, unsigned char* buf, int size) {
  auto* h = static_cast<URLHandle*>(opaque);
  return h->prot->url_read ? h->prot->url_read(h, buf, size) : KRV_EIO;
}

int handleWrite(void* opaque, unsigned char* buf, int size) {
  auto* h = static_cast<URLHandle*>(opaque);
  return h->prot->url_write ? h->prot->url_write(h, buf, size) : KRV_EIO;
}

int64_t handleSeek(void* opaque, int64_t offset, int whence) {
  auto* h = static_cast<URLHandle*>(opaque);
  return h->prot->url_seek ? h->prot->url_seek(h, offset, whence) : int64_t{KRV_EIO};
}

int handleReadPause(void* opaque, int pause) {
  auto* h = static_cast<URLHandle*>(opaque);
  return h->prot->url_read_pause ? h->prot->url_read_pause(h, pause) : KRV_EIO;
}

int64_t handleReadSeek(void* opaque, int streamIndex, int64_t timestamp, int flags) {
  auto* h = static_cast<URLHandle*>(opaque);
  return h->prot->url_read_seek ? h->prot->url_read_seek(h, streamIndex, timestamp, flags) : int64_t{KRV_EIO};
}

void resetBuffer(ByteIOContext* s) {
  s->buf_ptr = s->buffer;
  s->buf_end = s->write_flag ? s->buffer + s->buffer_size : s->buffer;
}

void fillBuffer(ByteIOContext* s) {
  if (s->eof_reached) return;
  int len = s->read_packet ? s->read_packet(s->opaque, s->buffer, s->buffer_size) : 0;
  if (len <= 0) {
    s->eof_reached = 1;
    if (len < 0) s->error = len;
    return;
  }
  s->pos += len;
  s->buf_ptr = s->buffer;
  s->buf_end = s->buffer + len;
}

void flushBuffer(ByteIOContext* s) {
  int n = static_cast<int>(s->buf_ptr - s->buffer);
  if (n > 0) {
    if (s->write_packet && !s->error) {
      int r = s->write_packet(s->opaque, s->buffer, n);
      if (r < 0) s->error = r;
    }
    s->pos += n;
  }
  s->buf_ptr = s->buffer;
}

}  // namespace

// ---- Exported entry points -------------------------------------------------

int64_t detail::sizeAtOpen(ByteIOContext* s) {
  auto* h = s ? static_cast<URLHandle*>(s->opaque) : nullptr;
  if (!h || h->prot != &fileProtocol || !h->priv_data) return -1;
  return static_cast<FileState*>(h->priv_data)->sizeAtOpen;
}

int url_fopen(ByteIOContext** out, const char* filename, int flags) {
  return detail::openContext(out, filename, flags, {});
}

int detail::openContext(ByteIOContext** out, const char* filename, int flags, const OpenOptions& options) {
  if (!out) return KRV_ENOENT;
  *out = nullptr;
  if (!filename) return KRV_ENOENT;
  // A name in a given folder is a file's name, whatever its prefix.
  const bool inFolder = options.dirFd >= 0;
  URLProtocol* prot = inFolder ? &fileProtocol : findProtocol(filename);
  if (!prot || !prot->url_open) return KRV_ENOENT;

  size_t len = std::strlen(filename);
  OpenStorage* const storage = options.storage;
  const bool inStorage = storage && options.bufferSize > 0 && options.buffer && prot == &fileProtocol &&
                         len < sizeof storage->filename;
  URLHandle* h;
  if (inStorage) {
    static_assert(sizeof(FileState) <= sizeof storage->fileState && alignof(FileState) <= alignof(OpenStorage));
    h = &storage->handle;
    *h = URLHandle{};
    h->filename = storage->filename;
    h->priv_data = storage->fileState;
  } else {
    h = static_cast<URLHandle*>(std::calloc(1, sizeof(URLHandle) + len + 1));
    if (!h) return KRV_ENOMEM;
    h->filename = reinterpret_cast<char*>(h + 1);
  }
  std::memcpy(h->filename, filename, len + 1);
  h->prot = prot;
  h->flags = flags | (inStorage ? kFlagInStorage : 0);
  const int opened = inFolder ? fileOpenAt(h, options.dirFd, filename, flags, options.regularFile)
                               : prot->url_open(h, filename, flags);
  if (opened < 0) {
    if (!inStorage) std::free(h);
    return KRV_ENOENT;
  }
  const bool knownSeekable = (h->flags & kFlagKnownSeekable) != 0;
  h->flags &= ~kFlagKnownSeekable;
  if ((flags == URL_WRONLY || flags == URL_RDWR || prot == &fileProtocol) && !knownSeekable) {
    if (!prot->url_seek || prot->url_seek(h, 0, SEEK_SET) < 0) h->is_streamed = 1;
  }

  int bufferSize = h->max_packet_size > 0 ? h->max_packet_size : kDefaultBufferSize;
  if (options.bufferSize > 0) bufferSize = options.bufferSize;
  // The caller's buffer serves only with its size given; else one of our own.
  unsigned char* callerBuffer = options.bufferSize > 0 ? options.buffer : nullptr;
  ByteIOContext* s;
  if (inStorage) {
    s = &storage->context;
    *s = ByteIOContext{};
  } else {
    s = static_cast<ByteIOContext*>(std::calloc(1, sizeof(ByteIOContext)));
  }
  auto* buffer = callerBuffer ? callerBuffer : static_cast<unsigned char*>(std::malloc(static_cast<size_t>(bufferSize)));
  if (!s || !buffer) {
    if (!inStorage) std::free(s);
    if (buffer != callerBuffer) std::free(buffer);
    if (prot->url_close) prot->url_close(h);
    if (!inStorage) std::free(h);
    return KRV_EIO;
  }
  s->buffer = buffer;
  s->buffer_size = bufferSize;
  s->write_flag = (flags == URL_WRONLY || flags == URL_RDWR) ? 1 : 0;
  resetBuffer(s);
  s->opaque = h;
  s->read_packet = handleRead;
  s->write_packet = handleWrite;
  s->seek = handleSeek;
  s->read_pause = handleReadPause;
  s->read_seek = handleReadSeek;
  s->is_streamed = h->is_streamed;
  s->max_packet_size = h->max_packet_size;
  *out = s;
  return 0;
}

ByteIOContext* url_open_file(const char* filename, int flags) {
  ByteIOContext* s = nullptr;
  return url_fopen(&s, filename, flags) < 0 ? nullptr : s;
}

int url_setbufsize(ByteIOContext* s, int size) {
  if (!s || size <= 0) return KRV_ENOMEM;
  auto* buffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(size)));
  if (!buffer) return KRV_ENOMEM;
  if (s->write_flag) {
    // Bytes not yet written go out first rather than being dropped.
    flushBuffer(s);
  } else {
    // Unread bytes are kept: copied when they fit, else read again.
    int unread = static_cast<int>(s->buf_end - s->buf_ptr);
    if (unread > size) {
      int64_t logical = s->pos - unread;
      if (!s->seek || s->seek(s->opaque, logical, SEEK_SET) < 0) {
        std::free(buffer);
        return KRV_EIO;
      }
      s->pos = logical;
      unread = 0;
    }
    if (unread > 0) std::memcpy(buffer, s->buf_ptr, static_cast<size_t>(unread));
    std::free(s->buffer);
    s->buffer = buffer;
    s->buffer_size = size;
    s->buf_ptr = buffer;
    s->buf_end = buffer + unread;
    return 0;
  }
  std::free(s->buffer);
  s->buffer = buffer;
  s->buffer_size = size;
  resetBuffer(s);
  return 0;
}

int url_fclose(ByteIOContext* s) {
  if (s) std::free(s->buffer);
  return detail::closeKeepingBuffer(s);
}

int detail::closeKeepingBuffer(ByteIOContext* s) {
  if (!s) return 0;
  auto* h = static_cast<URLHandle*>(s->opaque);
  const bool inStorage = h && (h->flags & kFlagInStorage);
  if (!inStorage) std::free(s);
  int r = 0;
  if (h) {
    if (h->prot && h->prot->url_close) r = h->prot->url_close(h);
    if (!inStorage) std::free(h);
  }
  return r;
}

int register_protocol(URLProtocol* p) {
  if (!p) return 0;
  URLProtocol** link = &firstProtocol;
  while (*link) {
    if (*link == p) return 0;  // already listed: appending again would cut the list
    link = &(*link)->next;
  }
  p->next = nullptr;
  *link = p;
  return 0;
}

int64_t av_rescale_q(int64_t a, AVRational bq, AVRational cq) {
  // Formed in 128 bits: the 64-bit products overflow for large inputs.
  __int128 num = static_cast<__int128>(a) * bq.num * cq.den;
  __int128 den = static_cast<__int128>(bq.den) * cq.num;
  if (den == 0) return INT64_MIN;
  if (den < 0) {
    num = -num;
    den = -den;
  }
  __int128 r = num >= 0 ? (2 * num + den) / (2 * den) : -((-2 * num + den) / (2 * den));
  if (r > INT64_MAX) return INT64_MAX;
  if (r < INT64_MIN + 1) return INT64_MIN + 1;
  return static_cast<int64_t>(r);
}

// ---- Reading ---------------------------------------------------------------

int detail::getByteRefill(ByteIOContext* s) {
  if (s->buf_ptr < s->buf_end) return *s->buf_ptr++;
  fillBuffer(s);
  if (s->buf_ptr < s->buf_end) return *s->buf_ptr++;
  return 0;
}

// Fields that straddle the end of the buffer (or the end of the file) are
// built from single bytes, so that a refill in the middle and the zeros past
// the end come out as get_byte gives them.
unsigned int detail::getBe16Slow(ByteIOContext* s) {
  unsigned int v = static_cast<unsigned>(get_byte(s)) << 8;
  return v | static_cast<unsigned>(get_byte(s));
}

unsigned int detail::getBe24Slow(ByteIOContext* s) {
  unsigned int v = get_be16(s) << 8;
  return v | static_cast<unsigned>(get_byte(s));
}

unsigned int detail::getBe32Slow(ByteIOContext* s) {
  unsigned int v = get_be16(s) << 16;
  return v | get_be16(s);
}

uint64_t detail::getBe64Slow(ByteIOContext* s) {
  uint64_t v = static_cast<uint64_t>(get_be32(s)) << 32;
  return v | get_be32(s);
}

unsigned int get_le16(ByteIOContext* s) {
  unsigned int v = static_cast<unsigned>(get_byte(s));
  return v | static_cast<unsigned>(get_byte(s)) << 8;
}

unsigned int get_le24(ByteIOContext* s) {
  unsigned int v = get_le16(s);
  return v | static_cast<unsigned>(get_byte(s)) << 16;
}

unsigned int get_le32(ByteIOContext* s) {
  unsigned int v = get_le16(s);
  return v | get_le16(s) << 16;
}

uint64_t get_le64(ByteIOContext* s) {
  uint64_t v = get_le32(s);
  return v | static_cast<uint64_t>(get_le32(s)) << 32;
}

int detail::getBufferSlow(ByteIOContext* s, unsigned char* buf, int size) {
  int total = 0;
  while (size > 0) {
    int len = static_cast<int>(s->buf_end - s->buf_ptr);
    if (len == 0) {
      if (s->eof_reached) break;
      if (size > s->buffer_size && s->read_packet) {
        // Large reads go straight into the caller's buffer.
        len = s->read_packet(s->opaque, buf, size);
        if (len <= 0) {
          s->eof_reached = 1;
          if (len < 0) s->error = len;
          break;
        }
        s->pos += len;
        s->buf_ptr = s->buf_end = s->buffer;
      } else {
        fillBuffer(s);
        len = static_cast<int>(s->buf_end - s->buf_ptr);
        if (len == 0) break;
        continue;
      }
    } else {
      if (len > size) len = size;
      std::memcpy(buf, s->buf_ptr, static_cast<size_t>(len));
      s->buf_ptr += len;
    }
    buf += len;
    size -= len;
    total += len;
  }
  return total;
}

namespace {
// Moves the protocol to offset with the buffer emptied.
int64_t seekEmptied(ByteIOContext* s, int64_t offset) {
  if (!s->seek) return KRV_EIO;
  int64_t r = s->seek(s->opaque, offset, SEEK_SET);
  if (r < 0) return r;
  s->pos = offset;
  s->buf_ptr = s->buf_end = s->buffer;
  return offset;
}
}  // namespace

int64_t url_fseek(ByteIOContext* s, int64_t offset, int whence) {
  if (whence != SEEK_SET && whence != SEEK_CUR) return -22;
  if (whence == SEEK_CUR) {
    int64_t cur = url_ftell(s);
    if ((offset > 0 && cur > INT64_MAX - offset)) return -22;
    offset += cur;
  }
  if (offset < 0) return -22;

  if (s->write_flag) {
    flushBuffer(s);
    if (offset == s->pos) return offset;
    if (!s->seek) return KRV_EIO;
    int64_t r = s->seek(s->opaque, offset, SEEK_SET);
    if (r < 0) return r;
    s->pos = offset;
    return offset;
  }

  int64_t bufStart = s->pos - (s->buf_end - s->buffer);
  if (offset >= bufStart && offset <= s->pos) {
    s->buf_ptr = s->buffer + (offset - bufStart);
  } else if (s->is_streamed) {
    // A protocol that cannot seek: only forward, by reading.
    if (offset < s->pos) return KRV_EIO;
    s->buf_ptr = s->buf_end;
    while (s->pos < offset) {
      fillBuffer(s);
      if (s->buf_ptr == s->buf_end) return KRV_EPIPE;
      if (s->pos >= offset) {
        s->buf_ptr = s->buf_end - (s->pos - offset);
        break;
      }
      s->buf_ptr = s->buf_end;
    }
  } else if (offset > s->pos && offset - s->pos < std::min<int64_t>(kShortSeekBytes, s->buffer_size)) {
    // A short hop forward past the buffered data: reading through it costs
    // less than a seek followed by a read of the same block (when one fill
    // reaches the offset).
    s->buf_ptr = s->buf_end;
    fillBuffer(s);
    if (s->pos >= offset) {
      s->buf_ptr = s->buf_end - (s->pos - offset);
    } else {
      // Short read: the file ends before the target; position there anyway.
      int64_t r = seekEmptied(s, offset);
      if (r < 0) return r;
    }
  } else {
    int64_t r = seekEmptied(s, offset);
    if (r < 0) return r;
  }
  s->eof_reached = 0;
  return offset;
}

int64_t url_fsize(ByteIOContext* s) {
  if (!s->seek) return KRV_EIO;
  int64_t size = s->seek(s->opaque, 0, kSeekSize);
  if (size >= 0) return size;
  // The protocol cannot tell: ask its end, then go back where the buffer is.
  int64_t handlePos = s->seek(s->opaque, 0, SEEK_CUR);
  if (handlePos < 0) return handlePos;
  size = s->seek(s->opaque, 0, SEEK_END);
  s->seek(s->opaque, handlePos, SEEK_SET);
  return size;
}

// ---- Writing ---------------------------------------------------------------

void put_byte(ByteIOContext* s, int b) {
  *s->buf_ptr++ = static_cast<unsigned char>(b);
  if (s->buf_ptr >= s->buffer + s->buffer_size) flushBuffer(s);
}

void put_be16(ByteIOContext* s, unsigned int v) {
  put_byte(s, static_cast<int>(v >> 8 & 0xFF));
  put_byte(s, static_cast<int>(v & 0xFF));
}

void put_be24(ByteIOContext* s, unsigned int v) {
  put_be16(s, v >> 8 & 0xFFFF);
  put_byte(s, static_cast<int>(v & 0xFF));
}

void put_be32(ByteIOContext* s, unsigned int v) {
  put_be16(s, v >> 16);
  put_be16(s, v & 0xFFFF);
}

void put_be64(ByteIOContext* s, uint64_t v) {
  put_be32(s, static_cast<unsigned>(v >> 32));
  put_be32(s, static_cast<unsigned>(v & 0xFFFFFFFFu));
}

void put_le16(ByteIOContext* s, unsigned int v) {
  put_byte(s, static_cast<int>(v & 0xFF));
  put_byte(s, static_cast<int>(v >> 8 & 0xFF));
}

void put_le32(ByteIOContext* s, unsigned int v) {
  put_le16(s, v & 0xFFFF);
  put_le16(s, v >> 16);
}

void put_tag(ByteIOContext* s, const char* tag) {
  for (int i = 0; i < 4 && tag[i]; ++i) put_byte(s, static_cast<unsigned char>(tag[i]));
}

void put_buffer(ByteIOContext* s, const unsigned char* buf, int size) {
  while (size > 0) {
    int room = static_cast<int>(s->buffer + s->buffer_size - s->buf_ptr);
    int len = size < room ? size : room;
    std::memcpy(s->buf_ptr, buf, static_cast<size_t>(len));
    s->buf_ptr += len;
    buf += len;
    size -= len;
    if (s->buf_ptr >= s->buffer + s->buffer_size) flushBuffer(s);
  }
}

void put_flush_packet(ByteIOContext* s) {
  flushBuffer(s);
  s->must_flush = 0;
}

}  // namespace krv
