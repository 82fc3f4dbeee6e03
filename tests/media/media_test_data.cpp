#include "media_test_data.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavutil/md5.h>
}

namespace mediatest {

namespace {

// $CORVANE_BUILD_DIR/testdata/media (created on first use).
std::string dataDir() {
  const char* build = std::getenv("CORVANE_BUILD_DIR");
  std::string base = build != nullptr ? build : "/tmp";
  std::string dir = base + "/testdata";
  mkdir(dir.c_str(), 0755);
  dir += "/media";
  mkdir(dir.c_str(), 0755);
  return dir;
}

// Runs a shell command; true when it exits 0. Output goes to the test log.
bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

}  // namespace

std::string Ensure(const std::string& name, const std::string& command) {
  const std::string path = dataDir() + "/" + name;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && st.st_size > 0) return path;
  const std::string tmp = path + ".tmp" + std::to_string(getpid());
  std::string cmd = command;
  for (size_t at; (at = cmd.find("%OUT%")) != std::string::npos;) cmd.replace(at, 5, tmp);
  if (!run(cmd + " >/dev/null 2>&1")) {
    std::remove(tmp.c_str());
    return "";
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return "";
  return path;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<Bytes> SplitNalUnits(const Bytes& s) {
  std::vector<size_t> starts;  // offsets of the start codes
  for (size_t i = 0; i + 3 <= s.size(); ++i) {
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
      starts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
      i += 2;
    }
  }
  std::vector<Bytes> nals;
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
    nals.emplace_back(s.begin() + static_cast<ptrdiff_t>(starts[k]), s.begin() + static_cast<ptrdiff_t>(end));
  }
  return nals;
}

int NalType(const Bytes& nal) {
  size_t i = 0;
  while (i < nal.size() && nal[i] == 0) ++i;
  if (i + 1 >= nal.size()) return -1;
  return nal[i + 1] & 0x1F;  // nal[i] is the 1 of the start code
}

static int firstHeaderByte(const Bytes& nal, size_t offset) {
  size_t i = 0;
  while (i < nal.size() && nal[i] == 0) ++i;
  i += 1 + offset;
  return i < nal.size() ? nal[i] : -1;
}

std::vector<Bytes> SplitAccessUnits(const Bytes& stream) {
  std::vector<Bytes> units;
  Bytes current;
  bool hasSlice = false;
  for (const Bytes& nal : SplitNalUnits(stream)) {
    const int type = NalType(nal);
    const bool slice = type == 1 || type == 5;
    // first_mb_in_slice is ue(v); it is 0 exactly when its first bit is 1.
    const bool firstSlice = slice && (firstHeaderByte(nal, 1) & 0x80) != 0;
    const bool startsUnit = (type == 6 || type == 7 || type == 8 || type == 9) || firstSlice;
    if (startsUnit && hasSlice) {
      units.push_back(current);
      current.clear();
      hasSlice = false;
    }
    current.insert(current.end(), nal.begin(), nal.end());
    hasSlice = hasSlice || slice;
  }
  if (!current.empty()) units.push_back(current);
  return units;
}

std::vector<std::string> FfmpegFrameMd5(const std::string& path) {
  const std::string out = path + ".framemd5." + std::to_string(getpid());
  std::vector<std::string> md5s;
  if (!run("ffmpeg -nostdin -v error -y -i '" + path + "' -map 0:0 -fps_mode passthrough -f framemd5 '" + out + "'"))
    return md5s;
  std::ifstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t comma = line.rfind(',');
    if (comma == std::string::npos) continue;
    std::string md5 = line.substr(comma + 1);
    while (!md5.empty() && md5.front() == ' ') md5.erase(md5.begin());
    md5s.push_back(md5);
  }
  std::remove(out.c_str());
  return md5s;
}

std::string Md5Hex(const unsigned char* data, size_t size) {
  uint8_t digest[16];
  av_md5_sum(digest, data, size);
  static const char* hex = "0123456789abcdef";
  std::string s;
  for (uint8_t b : digest) {
    s += hex[b >> 4];
    s += hex[b & 15];
  }
  return s;
}

static uint32_t le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

bool ParseWav(const Bytes& f, Wav* wav) {
  if (f.size() < 12 || std::string(f.begin(), f.begin() + 4) != "RIFF" ||
      std::string(f.begin() + 8, f.begin() + 12) != "WAVE")
    return false;
  size_t at = 12;
  bool haveFmt = false;
  while (at + 8 <= f.size()) {
    const std::string id(f.begin() + static_cast<ptrdiff_t>(at), f.begin() + static_cast<ptrdiff_t>(at + 4));
    const uint32_t size = le32(f, at + 4);
    const size_t body = at + 8;
    if (size > f.size() - body) return false;
    if (id == "fmt " && size >= 16) {
      wav->blockAlign = f[body + 12] | (f[body + 13] << 8);
      haveFmt = true;
    } else if (id == "data") {
      wav->data.assign(f.begin() + static_cast<ptrdiff_t>(body), f.begin() + static_cast<ptrdiff_t>(body + size));
      return haveFmt;
    }
    at = body + size + (size & 1);
  }
  return false;
}

std::vector<int16_t> FfmpegDecodeS16(const std::string& path) {
  const std::string out = path + ".s16." + std::to_string(getpid());
  std::vector<int16_t> samples;
  if (!run("ffmpeg -nostdin -v error -y -i '" + path + "' -f s16le -c:a pcm_s16le '" + out + "'")) return samples;
  const Bytes raw = ReadFile(out);
  std::remove(out.c_str());
  samples.resize(raw.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
  return samples;
}

std::string H264Stream(int width, int height, int frames) {
  std::ostringstream name;
  name << "testsrc_" << width << "x" << height << "_" << frames << ".h264";
  std::ostringstream cmd;
  cmd << "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" << width << "x" << height
      << ":rate=25 -frames:v " << frames
      << " -c:v libx264 -profile:v main -pix_fmt yuv420p -bf 0 -g 10 -f h264 %OUT%";
  return Ensure(name.str(), cmd.str());
}

}  // namespace mediatest
