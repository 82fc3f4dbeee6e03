// Helpers of the container tests: KRV bytes built by hand, temporary files,
// and reading a whole recording the way the reader thread does.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "krvreader/krv.h"
#include "krvreader/reader.h"

namespace krvtest {

using Bytes = std::vector<uint8_t>;

// A file path unique to this test process.
inline std::string TempPath(const std::string& name) {
  return "/tmp/corvane-krvtest-" + std::to_string(::getpid()) + "-" + name;
}

inline void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Big-endian byte building.
class Builder {
 public:
  Builder() { b_.reserve(256); }
  Builder& U8(unsigned v) { b_.push_back(static_cast<uint8_t>(v)); return *this; }
  Builder& Be16(unsigned v) { return U8(v >> 8).U8(v); }
  Builder& Be24(unsigned v) { return U8(v >> 16).U8(v >> 8).U8(v); }
  Builder& Be32(uint32_t v) { return Be16(v >> 16).Be16(v & 0xFFFF); }
  Builder& Raw(const Bytes& x) { b_.insert(b_.end(), x.begin(), x.end()); return *this; }
  Builder& Text(const std::string& s) { b_.insert(b_.end(), s.begin(), s.end()); return *this; }
  // AMF0
  Builder& Key(const std::string& k) { return Be16(static_cast<unsigned>(k.size())).Text(k); }
  Builder& Str(const std::string& s) { return U8(2).Key(s); }
  Builder& Num(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    U8(0);
    for (int i = 7; i >= 0; --i) U8(static_cast<unsigned>(bits >> (8 * i)));
    return *this;
  }
  Builder& Bool(bool v) { return U8(1).U8(v ? 1 : 0); }
  Builder& EcmaBegin(uint32_t count = 0) { return U8(8).Be32(count); }
  Builder& End() { return Be16(0).U8(9); }
  Builder& NumEntry(const std::string& k, double d) { return Key(k).Num(d); }
  const Bytes& bytes() const { return b_; }
  size_t size() const { return b_.size(); }

 private:
  Bytes b_;
};

// "KRV", version 1, the layout byte, header size 9, previous tag size 0.
inline Bytes FileHeader(int layout) {
  Builder b;
  b.Text("KRV").U8(1).U8(static_cast<unsigned>(layout)).Be32(9).Be32(0);
  return b.bytes();
}

// One tag and its previous tag size: start code, type, size, timestamp (24 +
// 8 bits), stream identifier, the data (flags byte included) and N + 15.
inline Bytes Tag(int type, uint32_t id, uint32_t ts, const Bytes& data) {
  Builder b;
  b.Be32(511).U8(static_cast<unsigned>(type)).Be24(static_cast<unsigned>(data.size())).Be24(ts & 0xFFFFFF).U8(ts >> 24);
  b.Be24(id).Raw(data).Be32(static_cast<uint32_t>(data.size() + 15));
  return b.bytes();
}

// A media tag: flags byte then payload.
inline Bytes MediaTag(int type, uint32_t id, uint32_t ts, int flags, const Bytes& payload) {
  Bytes data(payload.size() + 1);
  data[0] = static_cast<uint8_t>(flags);
  std::copy(payload.begin(), payload.end(), data.begin() + 1);
  return Tag(type, id, ts, data);
}

// A metadata tag: "onMetaData" then the given AMF values.
inline Bytes MetaTag(const Bytes& values) {
  Builder b;
  b.Str("onMetaData").Raw(values);
  return Tag(18, 0, 0, b.bytes());
}

// An ECMA array of numbers.
inline Bytes Array(std::initializer_list<std::pair<const char*, double>> entries) {
  Builder b;
  b.EcmaBegin(static_cast<uint32_t>(entries.size()));
  for (const auto& e : entries) b.NumEntry(e.first, e.second);
  b.End();
  return b.bytes();
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Payload(size_t n, uint8_t seed) {
  Bytes b(n);
  uint32_t x = 2463534242u + seed;
  for (auto& v : b) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    v = static_cast<uint8_t>(x);
  }
  // Never a start code inside, so that damage tests stay predictable.
  for (size_t i = 0; i + 1 < b.size(); ++i)
    if (b[i] == 0x01 && b[i + 1] == 0xFF) b[i + 1] = 0xFE;
  return b;
}

struct Pkt {
  int id;
  int64_t dts;
  bool key;
  Bytes data;
  bool operator==(const Pkt& o) const { return id == o.id && dts == o.dts && key == o.key && data == o.data; }
};

// A recording opened as the reader thread opens it (krv::Reader).
class Reading {
 public:
  explicit Reading(const std::string& path)
      : opened(reader_.Open(path)), headerResult(reader_.HeaderResult()), ctx(reader_.Context()) {}

  // Next packet, or false with the result in `last`.
  bool Next(Pkt* out) {
    last = reader_.Next();
    if (last < 0) return false;
    const krv::RecordingPacket& p = reader_.Packet();
    *out = Pkt{p.stream_index, p.dts, (p.flags & krv::PKT_FLAG_KEY) != 0, Bytes(p.data, p.data + p.size)};
    return true;
  }
  std::vector<Pkt> All() {
    std::vector<Pkt> v;
    Pkt p;
    while (Next(&p)) v.push_back(p);
    return v;
  }
  krv::RecordingStream* Stream(int slot) { return ctx->streams[slot]; }

 private:
  krv::Reader reader_;

 public:
  const bool opened;
  const int headerResult;
  krv::RecordingContext* const ctx;
  int last = 0;
};

// Bytes written to a temporary file and opened as the reader thread opens it.
struct FileReading {
  explicit FileReading(const Bytes& bytes, const char* name = "reader.krv") : path(TempPath(name)) {
    WriteFile(path, bytes);
    r = std::make_unique<Reading>(path);
  }
  ~FileReading() { std::remove(path.c_str()); }
  std::string path;
  std::unique_ptr<Reading> r;
};

}  // namespace krvtest
