#include "mem_protocol.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "krvreader/byte_io.h"

namespace krvfuzz {

namespace {

struct MemFile {
  const uint8_t* data = nullptr;
  int64_t size = 0;
  int64_t pos = 0;
};

thread_local const uint8_t* tData = nullptr;
thread_local size_t tSize = 0;

int memOpen(krv::URLHandle* h, const char*, int flags) {
  if (flags != krv::URL_RDONLY) return krv::KRV_ENOENT;
  auto* f = static_cast<MemFile*>(std::calloc(1, sizeof(MemFile)));
  if (!f) return krv::KRV_ENOMEM;
  f->data = tData;
  f->size = static_cast<int64_t>(tSize);
  h->priv_data = f;
  return 0;
}

int memRead(krv::URLHandle* h, unsigned char* buf, int size) {
  auto* f = static_cast<MemFile*>(h->priv_data);
  int64_t n = f->size - f->pos;
  if (n > size) n = size;
  if (n <= 0) return 0;
  std::memcpy(buf, f->data + f->pos, static_cast<size_t>(n));
  f->pos += n;
  return static_cast<int>(n);
}

int64_t memSeek(krv::URLHandle* h, int64_t pos, int whence) {
  auto* f = static_cast<MemFile*>(h->priv_data);
  if (whence == 0x10000) return f->size;
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->size : -1;
  if (base < 0 || pos < -base) return krv::KRV_EINVAL;
  f->pos = base + pos;
  return f->pos;
}

int memClose(krv::URLHandle* h) {
  std::free(h->priv_data);
  return 0;
}

krv::URLProtocol memProtocol = {"krvmem", memOpen, memRead, nullptr, memSeek, memClose, nullptr, nullptr, nullptr};

}  // namespace

void RegisterMemoryProtocol() {
  static std::once_flag once;
  std::call_once(once, [] { krv::register_protocol(&memProtocol); });
}

void SetMemoryFile(const uint8_t* data, size_t size) {
  tData = data;
  tSize = size;
}

}  // namespace krvfuzz
