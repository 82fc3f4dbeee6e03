// Pieces of the KRV format shared by the reader, the probe and the writer.
// Not part of the public API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "krv.h"

namespace krv::detail {

constexpr unsigned kStartCode = 511;  // 00 00 01 FF before every tag
constexpr int kTagAudio = 8;
constexpr int kTagVideo = 9;
constexpr int kTagMeta = 18;
constexpr int kTagData = 22;
constexpr int kHeaderFieldsSize = 15;  // start code, type, size, timestamp, stream identifier
constexpr int kMinMetadataSize = 19;   // smaller metadata tags are not parsed

inline bool isTagType(int t) { return t == kTagAudio || t == kTagVideo || t == kTagMeta || t == kTagData; }

// What snprintf(dst, size, "%s", src) leaves in dst, without the formatting:
// src up to its first NUL, cut to size - 1 bytes, then a NUL. size above 0.
inline void copyText(char* dst, std::size_t size, const char* src) {
  std::size_t n = ::strnlen(src, size - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Creates a stream in the next slot as the reader does (index = slot, time
// base 1/1000000, 32-bit timestamps) and counts it under its kind. Null when
// the table is full or memory runs out. With storage (kMaxStreams records)
// the stream is made in storage[slot] instead of being allocated: the caller
// owns those and clears the slots itself instead of krv_read_close.
RecordingStream* createStream(RecordingContext* ctx, int kind, RecordingStream* storage = nullptr);

// Creates the streams the layout byte declares: video, then audio, then data
// (in storage, when given, as createStream does).
// 0 or KRV_ENOMEM when a stream could not be created (the table is full).
int createLayoutStreams(RecordingContext* ctx, int layout, RecordingStream* storage = nullptr);

// Reads the start code and the type byte of the tag at the current position
// (its previous tag size already skipped). A missing start code
// re-synchronises, also over the four bytes just read. 0 or KRV_EPIPE. A
// reader whose reads were made small (a seek walk) gets them back to
// fullReadBytes when the search runs long.
int readTagStart(ByteIOContext* pb, int* type, int fullReadBytes = 0);

// Room for what a byte reader on a file needs besides its buffer: the
// handle with its name, the context and the "file" protocol's state. A
// caller that opens many files one after the other (the probe of a folder
// scan) keeps one instead of allocating them for each file.
struct OpenStorage {
  URLHandle handle;
  ByteIOContext context;
  alignas(8) unsigned char fileState[16];
  char filename[1024];
};

// How openContext opens a byte reader beyond url_fopen's arguments.
struct OpenOptions {
  // Buffer size; 0: the protocol's or the default size. The probe reads only
  // a file's head and takes a small one.
  int bufferSize = 0;
  // With bufferSize above 0: the caller's buffer of that many bytes, read
  // into instead of an allocated one. The context must then be closed by
  // closeKeepingBuffer, and its buffer never replaced (url_setbufsize).
  unsigned char* buffer = nullptr;
  // 0 or above: filename is the name of a file in the folder open as dirFd,
  // opened by the "file" protocol (openat) whatever its prefix; the kernel
  // then looks up one name instead of a whole path.
  int dirFd = -1;
  // With dirFd, for reading: the caller knows filename to name a regular file (its
  // folder listing said so), so the opener takes it as seekable without
  // asking the file system what it is; sizeAtOpen is then -1.
  bool regularFile = false;
  // With a caller's buffer and a file (a folder's name, or a path the "file"
  // protocol opens) whose name fits: the handle, context and state are made
  // in *storage instead of being allocated. Closed by closeKeepingBuffer,
  // which then frees nothing; storage must outlive the context.
  OpenStorage* storage = nullptr;
};

// url_fopen with options (url_fopen itself is openContext with none).
int openContext(ByteIOContext** out, const char* filename, int flags, const OpenOptions& options);

// url_fclose of a context opened on a caller's buffer: everything but the buffer is freed.
int closeKeepingBuffer(ByteIOContext* s);

// The size of a regular file opened through the "file" protocol, as it was
// when opened; -1 for other files and protocols (url_fsize asks them).
int64_t sizeAtOpen(ByteIOContext* s);

// Parses a metadata tag's data from the current position up to `end`. The
// arrays of the streams in slots factSlots and up are walked for the
// file-level values only (duration, file size, start time, bus number): those
// streams keep the facts they had.
void parseMetadata(RecordingContext* ctx, int64_t end, int factSlots = kMaxStreams);

}  // namespace krv::detail
