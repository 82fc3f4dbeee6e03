// One producer and one consumer on each queue, both under the queue's own
// lock as the pipeline uses them: nothing may be lost, duplicated or
// reordered. Each test passes a fixed least number of items and runs for at
// least 0.8 s; it is meant to run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "media/ac_dts_list.h"
#include "media/ac_media_list.h"
#include "media/ac_movie_list.h"
#include "media/ac_sync.h"

using namespace media;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kRunFor = std::chrono::milliseconds(800);
// However slow the machine, each producer passes at least this many items
// (and goes on until kRunFor has passed).
constexpr int64_t kMinItems = 2000;
constexpr int kMinPings = 200;

// The payload of packet `seq`: its length and bytes follow from seq.
int payloadLength(int64_t seq) { return 8 + static_cast<int>(seq % 2000); }
unsigned char payloadByte(int64_t seq, int i) { return static_cast<unsigned char>(seq * 31 + i); }

// Retries `op` (under obj's lock) until it reports success.
template <typename Op>
void retryLocked(ACObject& obj, Op op) {
  for (;;) {
    obj.Lock(-1);
    const int r = op();
    obj.Unlock();
    if (r) return;
    std::this_thread::yield();
  }
}

}  // namespace

TEST(QueueStressTest, MediaListOneProducerOneConsumer) {
  ACMediaList list;
  std::atomic<int64_t> produced{0};
  std::thread producer([&] {
    std::vector<unsigned char> buf(4096);
    const auto end = Clock::now() + kRunFor;
    int64_t seq = 0;
    for (; seq < kMinItems || Clock::now() < end; ++seq) {
      const int n = payloadLength(seq);
      for (int i = 0; i < n; ++i) buf[static_cast<size_t>(i)] = payloadByte(seq, i);
      retryLocked(list, [&] { return list.PushPacket(static_cast<int>(seq & 0xFFFF), seq, buf.data(), n, 2, 4); });
    }
    produced = seq;
    retryLocked(list, [&] { return list.PushPacket(0, DTS_END, nullptr, 0, 0, 0); });
  });

  std::vector<unsigned char> out(4096);
  int64_t expected = 0;
  int bad = 0;
  for (;;) {
    int type = 0, len = static_cast<int>(out.size()), w = 0, h = 0;
    int64_t dts = 0;
    list.Lock(-1);
    const int got = list.PopPacket(&type, &dts, out.data(), &len, &w, &h);
    list.Unlock();
    if (!got) {
      std::this_thread::yield();
      continue;
    }
    if (dts == DTS_END) break;
    if (dts != expected || type != static_cast<int>(expected & 0xFFFF) || len != payloadLength(expected) ||
        w != 2 || h != 4) {
      ++bad;
    } else {
      for (int i = 0; i < len; ++i)
        if (out[static_cast<size_t>(i)] != payloadByte(expected, i)) {
          ++bad;
          break;
        }
    }
    ++expected;
    if (bad > 0) break;
  }
  producer.join();
  EXPECT_EQ(bad, 0) << "at packet " << expected;
  EXPECT_EQ(expected, produced.load());
  EXPECT_GE(expected, kMinItems);
}

TEST(QueueStressTest, MovieListOneProducerOneConsumer) {
  ACMovieList pool;
  std::atomic<int64_t> produced{0};
  // The producer writes each picture into its slot outside the lock, as a
  // decode thread converts into the slot it holds.
  std::thread producer([&] {
    const auto end = Clock::now() + kRunFor;
    int64_t seq = 0;
    auto fill = [&](int64_t dts, int64_t tag) {
      ACMovieFrame* slot = nullptr;
      unsigned char* buf = nullptr;
      int32_t *hw = nullptr, *w = nullptr, *h = nullptr;
      retryLocked(pool, [&] { return pool.AcquireFrame(&slot, &buf, &hw, &w, &h); });
      slot->dts = dts;
      *hw = static_cast<int32_t>(tag & 0x3FF);
      *w = 2 * *hw;
      *h = 2;
      std::memcpy(buf, &tag, sizeof tag);
      std::memcpy(buf + kMediaBufferBytes - sizeof tag, &tag, sizeof tag);
    };
    for (; seq < kMinItems || Clock::now() < end; ++seq) fill(seq, seq);
    produced = seq;
    fill(DTS_END, -3);
    // The last picture becomes visible with the producer's next acquire.
    retryLocked(pool, [&] { return pool.AcquireFrame(nullptr, nullptr, nullptr, nullptr, nullptr); });
  });

  int64_t expected = 0;
  int bad = 0;
  for (;;) {
    int64_t dts = 0;
    unsigned char* buf = nullptr;
    int32_t hw = 0, w = 0, h = 0;
    pool.Lock(-1);
    const int got = pool.PopFrame(&dts, &buf, &hw, &w, &h);
    pool.Unlock();
    if (!got) {
      std::this_thread::yield();
      continue;
    }
    if (dts == DTS_END) break;
    int64_t head = 0, tail = 0;
    std::memcpy(&head, buf, sizeof head);
    std::memcpy(&tail, buf + kMediaBufferBytes - sizeof tail, sizeof tail);
    if (dts != expected || head != expected || tail != expected || hw != (expected & 0x3FF) || w != 2 * hw) {
      ++bad;
      break;
    }
    ++expected;
  }
  producer.join();
  EXPECT_EQ(bad, 0) << "at picture " << expected;
  EXPECT_EQ(expected, produced.load());
  EXPECT_GE(expected, kMinItems);
}

TEST(QueueStressTest, DTSListOneProducerOneConsumer) {
  ACDTSList list;
  std::atomic<int64_t> produced{0};
  std::thread producer([&] {
    const auto end = Clock::now() + kRunFor;
    int64_t key = 0;
    for (; key < kMinItems || Clock::now() < end; ++key)
      retryLocked(list, [&] { return list.PushDTS(key, key * 3 + 1); });
    produced = key;
    retryLocked(list, [&] { return list.PushDTS(DTS_END, 0); });
  });
  int64_t expected = 0;
  int bad = 0;
  for (;;) {
    int64_t value = 0;
    bool found = false;
    list.Lock(-1);
    const int64_t key = list.PopDTS(&value, &found);
    list.Unlock();
    if (!found) {
      std::this_thread::yield();
      continue;
    }
    if (key == DTS_END) break;
    if (key != expected || value != expected * 3 + 1) {
      ++bad;
      break;
    }
    ++expected;
  }
  producer.join();
  EXPECT_EQ(bad, 0) << "at key " << expected;
  EXPECT_EQ(expected, produced.load());
  EXPECT_GE(expected, kMinItems);
}

TEST(QueueStressTest, AMFDataListOneProducerOneConsumer) {
  ACAMFDataList list;
  std::atomic<int64_t> produced{0};
  std::thread producer([&] {
    unsigned char buf[256];
    const auto end = Clock::now() + kRunFor;
    int64_t seq = 0;
    for (; seq < kMinItems || Clock::now() < end; ++seq) {
      const int n = 1 + static_cast<int>(seq % 256);
      for (int i = 0; i < n; ++i) buf[i] = payloadByte(seq, i);
      retryLocked(list, [&] { return list.PushPacket(seq, buf, n); });
    }
    produced = seq;
    retryLocked(list, [&] { return list.PushPacket(DTS_END, nullptr, 0); });
  });
  unsigned char out[256];
  int64_t expected = 0;
  int bad = 0;
  for (;;) {
    int64_t key = 0;
    int len = sizeof out;
    list.Lock(-1);
    const int got = list.PopPacket(&key, out, &len);
    list.Unlock();
    if (!got) {
      std::this_thread::yield();
      continue;
    }
    if (key == DTS_END) break;
    bool ok = key == expected && len == 1 + static_cast<int>(expected % 256);
    for (int i = 0; ok && i < len; ++i) ok = out[i] == payloadByte(expected, i);
    if (!ok) {
      ++bad;
      break;
    }
    ++expected;
  }
  producer.join();
  EXPECT_EQ(bad, 0) << "at record " << expected;
  EXPECT_EQ(expected, produced.load());
  EXPECT_GE(expected, kMinItems);
}

TEST(EventStressTest, AutoResetPingPongLosesNoSignal) {
  ACEvent ping(ACEvent::kAutoReset), pong(ACEvent::kAutoReset), stop(ACEvent::kManualReset);
  std::atomic<int> answered{0};
  std::thread responder([&] {
    ACEvent* events[] = {&stop, &ping};
    for (;;) {
      const int r = WaitForEvents(events, 2, 2000);
      if (r != 1) break;  // stop, or a lost signal (time-out)
      ++answered;
      pong.Set();
    }
  });
  const auto end = Clock::now() + kRunFor;
  int sent = 0;
  bool lost = false;
  while (sent < kMinPings || Clock::now() < end) {
    ping.Set();
    ++sent;
    if (!pong.Wait(2000)) {
      lost = true;
      break;
    }
  }
  stop.Set();
  responder.join();
  EXPECT_FALSE(lost);
  EXPECT_EQ(answered.load(), sent);
  EXPECT_GE(sent, kMinPings);
}
