// The byte I/O layer: buffered reading across buffer boundaries, seeking,
// end of file, rescaling.
#include <gtest/gtest.h>

#include <climits>

#include "fuzz/mem_protocol.h"
#include "krv_test_util.h"
#include "krvreader/byte_io.h"

using namespace krv;
using namespace krvtest;

namespace {

// Reads are served from the buffer when it holds the bytes and built through
// refills when it does not: every buffer size gives the same values, skips
// and positions, and a field cut by the end of the file reads its bytes
// followed by zeros.
TEST(ByteIo, ReadsGiveTheSameValuesWhereverTheBufferEnds) {
  std::string path = TempPath("everywhere.bin");
  Bytes data = Payload(300, 9);
  WriteFile(path, data);
  auto be = [&](size_t at, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | (at + i < data.size() ? data[at + i] : 0);
    return v;
  };
  for (int size = 1; size <= 40; ++size) {
    ByteIOContext* r = url_open_file(path.c_str(), URL_RDONLY);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(url_setbufsize(r, size), 0);
    size_t at = 0;
    unsigned char block[16];
    while (at + 31 <= data.size()) {
      ASSERT_EQ(static_cast<uint64_t>(get_byte(r)), be(at, 1)) << size;
      ASSERT_EQ(get_be16(r), be(at + 1, 2)) << size;
      ASSERT_EQ(get_be24(r), be(at + 3, 3)) << size;
      ASSERT_EQ(get_be32(r), be(at + 6, 4)) << size;
      ASSERT_EQ(get_be64(r), be(at + 10, 8)) << size;
      ASSERT_EQ(get_buffer(r, block, 5), 5);
      ASSERT_TRUE(std::equal(block, block + 5, data.begin() + static_cast<long>(at + 18))) << size;
      url_fskip(r, 3);
      ASSERT_EQ(url_ftell(r), static_cast<int64_t>(at + 26)) << size;
      url_fskip(r, 5);
      at += 31;
      ASSERT_EQ(url_ftell(r), static_cast<int64_t>(at)) << size;
      ASSERT_EQ(url_feof(r), 0);
    }
    // 21 bytes are left: a 64-bit field, two 32-bit ones, then one cut by the end.
    ASSERT_EQ(data.size() - at, 21u);
    ASSERT_EQ(get_be64(r), be(at, 8));
    ASSERT_EQ(get_be32(r), be(at + 8, 4));
    ASSERT_EQ(get_be32(r), be(at + 12, 4));
    ASSERT_EQ(url_feof(r), 0);
    ASSERT_EQ(get_be64(r), be(at + 16, 8)) << "5 bytes, then zeros; buffer " << size;
    ASSERT_NE(url_feof(r), 0);
    ASSERT_EQ(get_be16(r), 0u);
    ASSERT_EQ(get_buffer(r, block, 4), 0);
    url_fclose(r);
  }
  std::remove(path.c_str());
}

TEST(ByteIo, SeeksInsideAndOutsideTheBufferAndReadsLargeBlocks) {
  std::string path = TempPath("seek.bin");
  Bytes data = Payload(200000, 3);
  WriteFile(path, data);
  ByteIOContext* r = url_open_file(path.c_str(), URL_RDONLY);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(get_byte(r), data[0]);
  EXPECT_EQ(url_fseek(r, 100, SEEK_SET), 100);  // inside the buffer
  EXPECT_EQ(get_byte(r), data[100]);
  EXPECT_EQ(url_fseek(r, 150000, SEEK_SET), 150000);  // outside
  EXPECT_EQ(url_ftell(r), 150000);
  EXPECT_EQ(get_byte(r), data[150000]);
  url_fskip(r, -1001);
  EXPECT_EQ(url_ftell(r), 149000);
  EXPECT_EQ(get_byte(r), data[149000]);
  EXPECT_LT(url_fseek(r, -5, SEEK_SET), 0);
  EXPECT_EQ(url_ftell(r), 149001);

  // A block larger than the buffer, straddling what is buffered.
  Bytes block(100000);
  url_fseek(r, 10, SEEK_SET);
  get_byte(r);
  EXPECT_EQ(get_buffer(r, block.data(), static_cast<int>(block.size())), 100000);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), data.begin() + 11));
  EXPECT_EQ(url_ftell(r), 100011);

  // A short read at the end returns the count and sets end of file.
  url_fseek(r, 199990, SEEK_SET);
  EXPECT_EQ(get_buffer(r, block.data(), 100), 10);
  EXPECT_NE(url_feof(r), 0);
  url_fseek(r, 0, SEEK_SET);
  EXPECT_EQ(url_feof(r), 0) << "a seek clears end of file";
  EXPECT_EQ(get_byte(r), data[0]);
  url_fclose(r);
  std::remove(path.c_str());
}

TEST(ByteIo, RescaleRoundsHalvesAwayFromZero) {
  EXPECT_EQ(av_rescale_q(15, {1, 10}, {1, 1}), 2);     // 1.5
  EXPECT_EQ(av_rescale_q(-15, {1, 10}, {1, 1}), -2);   // -1.5
  EXPECT_EQ(av_rescale_q(14, {1, 10}, {1, 1}), 1);
  EXPECT_EQ(av_rescale_q(-14, {1, 10}, {1, 1}), -1);
  EXPECT_EQ(av_rescale_q(25, {1, 10}, {1, 1}), 3);     // 2.5
  EXPECT_EQ(av_rescale_q(12000000, {1, 1000000}, {1, 90000}), 1080000);
  EXPECT_EQ(av_rescale_q(1, {1, 3}, {1, 2}), 1);       // 0.67
  EXPECT_EQ(av_rescale_q(7, {3, -2}, {1, 1}), -11);    // -10.5
  // Products that leave 64 bits still give the exact result.
  EXPECT_EQ(av_rescale_q(INT64_MAX / 2, {1000000, 1}, {1, 1}), INT64_MAX) << "clamped";
  EXPECT_EQ(av_rescale_q(4000000000000LL, {1, 1000000}, {1, 90000}), 360000000000LL);
  EXPECT_EQ(av_rescale_q(INT64_MAX, {1, 3}, {1, 3}), INT64_MAX);
  EXPECT_EQ(av_rescale_q(5, {1, 0}, {1, 1}), INT64_MIN) << "no time base";
}

// Registering a protocol twice keeps the list (it used to cut it).
TEST(ByteIo, RegisteredProtocolsAreFoundAndRegisteringTwiceKeepsTheList) {
  krvfuzz::RegisterMemoryProtocol();
  static URLProtocol extra = {"zzextra", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(register_protocol(&extra), 0);
  EXPECT_EQ(register_protocol(&extra), 0);
  Bytes data{9, 8, 7};
  krvfuzz::SetMemoryFile(data.data(), data.size());
  ByteIOContext* s = url_open_file(krvfuzz::kMemoryFileName, URL_RDONLY);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(get_be24(s), 0x090807u);
  EXPECT_EQ(url_fsize(s), 3);
  url_fclose(s);
}


// A new buffer keeps the bytes read ahead into the old one (they were lost).
TEST(ByteIo, ReplacingTheBufferKeepsBufferedBytes) {
  std::string path = TempPath("setbuf.bin");
  Bytes data = Payload(100000, 5);
  WriteFile(path, data);
  ByteIOContext* r = url_open_file(path.c_str(), URL_RDONLY);
  ASSERT_NE(r, nullptr);
  for (int i = 0; i < 10; ++i) get_byte(r);
  ASSERT_EQ(url_setbufsize(r, 65536), 0);  // unread bytes fit
  EXPECT_EQ(url_ftell(r), 10);
  EXPECT_EQ(get_byte(r), data[10]);
  ASSERT_EQ(url_setbufsize(r, 16), 0);  // they do not: read again
  EXPECT_EQ(url_ftell(r), 11);
  EXPECT_EQ(get_byte(r), data[11]);
  url_fclose(r);

  ByteIOContext* w = url_open_file(path.c_str(), URL_WRONLY);
  ASSERT_NE(w, nullptr);
  put_be32(w, 0xA1B2C3D4);
  ASSERT_EQ(url_setbufsize(w, 1024), 0);
  put_be16(w, 0xE5F6);
  put_flush_packet(w);
  url_fclose(w);
  EXPECT_EQ(ReadFile(path), (Bytes{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}));
  std::remove(path.c_str());
}


}  // namespace
