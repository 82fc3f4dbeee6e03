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

// The payload of item `seq`: its bytes follow from seq.
unsigned char payloadByte(int64_t seq, int i) { return static_cast<unsigned char>(seq * 31 + i); }

// Runs `op` under obj's lock; with `retry`, until it reports success.
template <typename Op>
auto locked(ACObject& obj, Op op, bool retry = false) {
  for (;;) {
    obj.Lock(-1);
    const auto r = op();
    obj.Unlock();
    if (r || !retry) return r;
    std::this_thread::yield();
  }
}

enum class Popped { kNone, kEnd, kGood, kBad };

// A producer thread calls push(seq) for seq 0, 1, ... (at least kMinItems,
// and for at least kRunFor), then pushEnd(); this thread calls pop(expected)
// until it reports the end. Every item must come out once, in order.
template <typename Push, typename PushEnd, typename Pop>
void expectOneToOne(Push push, PushEnd pushEnd, Pop pop) {
  std::atomic<int64_t> produced{0};
  std::thread producer([&] {
    const auto end = Clock::now() + kRunFor;
    int64_t seq = 0;
    for (; seq < kMinItems || Clock::now() < end; ++seq) push(seq);
    produced = seq;
    pushEnd();
  });
  int64_t expected = 0;
  int64_t firstBad = -1;
  for (;;) {
    const Popped r = pop(expected);
    if (r == Popped::kNone) {
      std::this_thread::yield();
      continue;
    }
    if (r == Popped::kEnd) break;
    // After a bad item the ring is still drained, so the producer ends.
    if (r == Popped::kBad && firstBad < 0) firstBad = expected;
    ++expected;
  }
  producer.join();
  EXPECT_EQ(firstBad, -1) << "a bad item";
  EXPECT_EQ(expected, produced.load());
  EXPECT_GE(expected, kMinItems);
}

}  // namespace

TEST(QueueStressTest, MediaListOneProducerOneConsumer) {
  ACMediaList list;
  auto length = [](int64_t seq) { return 8 + static_cast<int>(seq % 2000); };
  std::vector<unsigned char> in(4096), out(4096);
  expectOneToOne(
      [&](int64_t seq) {
        const int n = length(seq);
        for (int i = 0; i < n; ++i) in[static_cast<size_t>(i)] = payloadByte(seq, i);
        locked(list, [&] { return list.PushPacket(static_cast<int>(seq & 0xFFFF), seq, in.data(), n, 2, 4); }, true);
      },
      [&] { locked(list, [&] { return list.PushPacket(0, DTS_END, nullptr, 0, 0, 0); }, true); },
      [&](int64_t expected) {
        int type = 0, len = static_cast<int>(out.size()), w = 0, h = 0;
        int64_t dts = 0;
        if (!locked(list, [&] { return list.PopPacket(&type, &dts, out.data(), &len, &w, &h); })) return Popped::kNone;
        if (dts == DTS_END) return Popped::kEnd;
        if (dts != expected || type != static_cast<int>(expected & 0xFFFF) || len != length(expected) || w != 2 ||
            h != 4)
          return Popped::kBad;
        for (int i = 0; i < len; ++i)
          if (out[static_cast<size_t>(i)] != payloadByte(expected, i)) return Popped::kBad;
        return Popped::kGood;
      });
}

TEST(QueueStressTest, MovieListOneProducerOneConsumer) {
  ACMovieList pool;
  // The producer writes each picture into its slot outside the lock, as a
  // decode thread converts into the slot it holds.
  auto fill = [&](int64_t dts, int64_t tag) {
    ACMovieFrame* slot = nullptr;
    unsigned char* buf = nullptr;
    int32_t *hw = nullptr, *w = nullptr, *h = nullptr;
    locked(pool, [&] { return pool.AcquireFrame(&slot, &buf, &hw, &w, &h); }, true);
    slot->dts = dts;
    *hw = static_cast<int32_t>(tag & 0x3FF);
    *w = 2 * *hw;
    *h = 2;
    std::memcpy(buf, &tag, sizeof tag);
    std::memcpy(buf + kMediaBufferBytes - sizeof tag, &tag, sizeof tag);
  };
  expectOneToOne([&](int64_t seq) { fill(seq, seq); },
                 [&] {
                   fill(DTS_END, -3);
                   // The last picture becomes visible with the producer's next acquire.
                   locked(pool, [&] { return pool.AcquireFrame(nullptr, nullptr, nullptr, nullptr, nullptr); }, true);
                 },
                 [&](int64_t expected) {
                   int64_t dts = 0;
                   unsigned char* buf = nullptr;
                   int32_t hw = 0, w = 0, h = 0;
                   if (!locked(pool, [&] { return pool.PopFrame(&dts, &buf, &hw, &w, &h); })) return Popped::kNone;
                   if (dts == DTS_END) return Popped::kEnd;
                   int64_t head = 0, tail = 0;
                   std::memcpy(&head, buf, sizeof head);
                   std::memcpy(&tail, buf + kMediaBufferBytes - sizeof tail, sizeof tail);
                   const bool ok = dts == expected && head == expected && tail == expected &&
                                   hw == (expected & 0x3FF) && w == 2 * hw;
                   return ok ? Popped::kGood : Popped::kBad;
                 });
}

TEST(QueueStressTest, DTSListOneProducerOneConsumer) {
  ACDTSList list;
  expectOneToOne(
      [&](int64_t key) { locked(list, [&] { return list.PushDTS(key, key * 3 + 1); }, true); },
      [&] { locked(list, [&] { return list.PushDTS(DTS_END, 0); }, true); },
      [&](int64_t expected) {
        int64_t value = 0;
        bool found = false;
        const int64_t key = locked(list, [&] { return list.PopDTS(&value, &found); });
        if (!found) return Popped::kNone;
        if (key == DTS_END) return Popped::kEnd;
        return key == expected && value == expected * 3 + 1 ? Popped::kGood : Popped::kBad;
      });
}

TEST(QueueStressTest, AMFDataListOneProducerOneConsumer) {
  ACAMFDataList list;
  unsigned char in[256], out[256];
  expectOneToOne(
      [&](int64_t seq) {
        const int n = 1 + static_cast<int>(seq % 256);
        for (int i = 0; i < n; ++i) in[i] = payloadByte(seq, i);
        locked(list, [&] { return list.PushPacket(seq, in, n); }, true);
      },
      [&] { locked(list, [&] { return list.PushPacket(DTS_END, nullptr, 0); }, true); },
      [&](int64_t expected) {
        int64_t key = 0;
        int len = sizeof out;
        if (!locked(list, [&] { return list.PopPacket(&key, out, &len); })) return Popped::kNone;
        if (key == DTS_END) return Popped::kEnd;
        bool ok = key == expected && len == 1 + static_cast<int>(expected % 256);
        for (int i = 0; ok && i < len; ++i) ok = out[i] == payloadByte(expected, i);
        return ok ? Popped::kGood : Popped::kBad;
      });
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
