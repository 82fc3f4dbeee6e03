#include "live/live_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace live {

namespace {

constexpr int kNameTries = 120;

bool MakeFolder(const std::string& path) {
  if (path.empty()) return false;
  std::string partial;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = path.find('/', start);
    partial = path.substr(0, slash == std::string::npos ? path.size() : slash);
    if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOrDefault(const std::string& folder) {
  std::string f = folder;
  if (f.empty()) {
    const char* home = std::getenv("HOME");
    f = std::string(home != nullptr ? home : ".") + "/KRRec/";
  }
  if (f.back() != '/') f += '/';
  return f;
}

}  // namespace

bool PrepareRecordFolder(const std::string& folder, std::string* error) {
  const std::string f = FolderOrDefault(folder);
  if (!MakeFolder(f.substr(0, f.size() - 1)) || access(f.c_str(), W_OK) != 0) {
    *error = "cannot write to " + f;
    return false;
  }
  return true;
}

std::string LiveRecordPath(const std::string& folder, int channel, std::time_t when) {
  struct tm tm;
  localtime_r(&when, &tm);
  char day[48], name[128];
  std::snprintf(day, sizeof day, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  std::snprintf(name, sizeof name, "%s%02d%02d%02d_%s_%02d.krv", day, tm.tm_hour, tm.tm_min, tm.tm_sec,
                kLiveRecordTypes, channel + 1);
  return FolderOrDefault(folder) + day + "/" + name;
}

std::string CreateLiveRecordFile(const std::string& folder, int channel, std::time_t when, std::time_t* used,
                                 std::string* error) {
  for (int i = 0; i < kNameTries; ++i) {
    const std::string path = LiveRecordPath(folder, channel, when + i);
    const std::string dir = path.substr(0, path.rfind('/'));
    if (!MakeFolder(dir)) {
      *error = "cannot make the folder " + dir;
      return "";
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      if (used != nullptr) *used = when + i;
      return path;
    }
    if (errno != EEXIST) {
      *error = "cannot create " + path + ": " + std::strerror(errno);
      return "";
    }
  }
  *error = "no free file name in " + FolderOrDefault(folder);
  return "";
}

bool LiveRecorder::Begin(const std::string& path, const Stream& stream, int64_t startSeconds, std::string* error) {
  Finish();
  ctx_ = krv::RecordingContext{};
  if (krv::url_fopen(&ctx_.pb, path.c_str(), krv::URL_WRONLY) < 0) {
    *error = "cannot open " + path;
    ctx_.pb = nullptr;
    return false;
  }
  std::snprintf(ctx_.filename, sizeof ctx_.filename, "%s", path.c_str());
  ctx_.start_time = startSeconds;
  krv::RecordingStream* st = krv::av_new_stream(&ctx_, stream.channel);
  if (st == nullptr) {
    *error = "out of memory";
    krv::url_fclose(ctx_.pb);
    ctx_.pb = nullptr;
    return false;
  }
  st->kind = krv::KIND_VIDEO;
  st->index = stream.channel;  // the identifier: the pane it plays back in
  st->codec_id = krv::CODEC_H264;
  st->width = stream.width;
  st->height = stream.height;
  st->r_frame_rate = {stream.framesPerSecond > 0 ? stream.framesPerSecond : 25, 1};
  ctx_.nb_video_streams = 1;
  if (krv::krv_write_header(&ctx_) < 0) {
    *error = "cannot write the header of " + path;
    krv::krv_read_close(&ctx_);
    krv::url_fclose(ctx_.pb);
    ctx_.pb = nullptr;
    return false;
  }
  open_ = true;
  path_ = path;
  firstUs_ = 0;
  lastUs_ = -1;
  packets_ = 0;
  return true;
}

bool LiveRecorder::Write(const unsigned char* data, int size, bool key, int64_t timeUs, int64_t durationUs) {
  if (!open_) return false;
  if (packets_ == 0) firstUs_ = timeUs;
  int64_t t = timeUs - firstUs_;
  if (t <= lastUs_) t = lastUs_ + 1;
  krv::RecordingPacket pkt{};
  pkt.data = const_cast<unsigned char*>(data);
  pkt.size = size;
  pkt.stream_index = 0;
  pkt.dts = pkt.pts = t;
  pkt.duration = static_cast<int>(durationUs);
  pkt.flags = key ? krv::PKT_FLAG_KEY : 0;
  if (krv::krv_write_packet(&ctx_, &pkt) < 0) {
    Finish();
    return false;
  }
  lastUs_ = t;
  ++packets_;
  return true;
}

bool LiveRecorder::Finish() {
  if (!open_) return true;
  open_ = false;
  const bool ok = krv::krv_write_trailer(&ctx_) == 0;
  krv::krv_read_close(&ctx_);
  const bool closed = krv::url_fclose(ctx_.pb) == 0;
  ctx_.pb = nullptr;
  return ok && closed;
}

}  // namespace live
