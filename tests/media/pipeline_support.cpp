#include "pipeline_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "krvreader/krv.h"
#include "synth/synth.h"

namespace pipelinetest {

namespace {

std::string dataDir() {
  const char* build = std::getenv("CORVANE_BUILD_DIR");
  std::string dir = std::string(build != nullptr ? build : "/tmp") + "/testdata";
  mkdir(dir.c_str(), 0755);
  dir += "/pipeline";
  mkdir(dir.c_str(), 0755);
  return dir;
}

}  // namespace

std::string Recording(const std::string& name, int seconds, int channels, int width, int height) {
  const std::string path = dataDir() + "/" + name;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && st.st_size > 0) return path;
  krvsynth::SynthOptions o;
  o.seconds = seconds;
  o.channels = channels;
  o.width = width;
  o.height = height;
  o.startTime = 1700000000;
  // Made under a name of this process, then renamed: test processes run
  // side by side and may make the same recording.
  const std::string tmp = path + ".tmp" + std::to_string(getpid());
  std::string error;
  if (!krvsynth::WriteKrv(o, tmp, &error)) {
    std::fprintf(stderr, "synth: %s\n", error.c_str());
    std::remove(tmp.c_str());
    return "";
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return "";
  return path;
}

std::vector<Packet> ReadPackets(const std::string& path, int kind) {
  std::vector<Packet> out;
  krv::RecordingContext* ctx = new krv::RecordingContext{};
  krv::RecordingPacket pkt{};
  std::snprintf(ctx->filename, sizeof ctx->filename, "%s", path.c_str());
  if (krv::url_fopen(&ctx->pb, ctx->filename, krv::URL_RDONLY) >= 0) {
    krv::krv_seek_keyframe(ctx, 0);
    krv::krv_read_header(ctx);
    while (krv::krv_read_packet(ctx, &pkt) > 0) {
      const krv::RecordingStream* st = nullptr;
      for (int slot = 0; slot < krv::kMaxStreams; ++slot)
        if (ctx->streams[slot] != nullptr && ctx->streams[slot]->index == pkt.stream_index) st = ctx->streams[slot];
      if (st == nullptr || st->kind != kind || pkt.size <= 0) continue;
      Packet p;
      p.channel = kind == krv::KIND_AUDIO ? pkt.stream_index - 4 : pkt.stream_index;
      p.codecId = st->codec_id;
      p.dtsMs = static_cast<int64_t>(pkt.dts / 1000);
      p.width = st->width;
      p.height = st->height;
      p.data.assign(pkt.data, pkt.data + pkt.size);
      out.push_back(std::move(p));
    }
  }
  krv::packet_free(&pkt);
  krv::krv_read_close(ctx);
  if (ctx->pb) krv::url_fclose(ctx->pb);
  delete ctx;
  return out;
}

void RecordingSink::PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  posts_.push_back({message, wParam, lParam});
}

std::vector<RecordingSink::Post> RecordingSink::Posts() {
  std::lock_guard<std::mutex> lock(mutex_);
  return posts_;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace pipelinetest
