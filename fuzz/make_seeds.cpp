// fuzz_make_seeds OUT_DIR RECORDING.krv...: the seed corpus of every fuzz
// target, from recordings made by `krvtool synth` and the built-in files:
//   krv/          each recording, and its first 4 KB
//   vehicle/      the data packets' payloads (GPS, GSensor, otherSensors)
//   voice/        sound packets, a selector byte first (1 HiSilicon voice
//                 frames, 0 Microsoft ADPCM), as the voice target takes them
//   ini/          the default settings file and both language files
//   language/     both language files
//   decode/       lines of the language files
//   record_name/  recording file names of every form
// A few packets of each kind suffice: the fuzzer takes it from there.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/language.h"
#include "core/settings.h"
#include "krvreader/krv.h"

namespace {

namespace fs = std::filesystem;

bool Write(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string Hex(size_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04zu", n);
  return buf;
}

// Packets of one recording into the vehicle and voice seeds.
bool SplitRecording(const std::string& path, const fs::path& out, size_t* vehicle, size_t* voice) {
  auto* ctx = new krv::RecordingContext{};
  krv::RecordingPacket pkt{};
  if (krv::url_fopen(&ctx->pb, path.c_str(), krv::URL_RDONLY) != 0) {
    delete ctx;
    return false;
  }
  krv::krv_seek_keyframe(ctx, 0);
  krv::krv_read_header(ctx);
  std::map<int, int> perStream;
  for (int i = 0; i < 5000 && krv::krv_read_packet(ctx, &pkt) > 0; ++i) {
    const krv::RecordingStream* st = nullptr;
    for (int s = 0; s < ctx->nb_streams; ++s)
      if (ctx->streams[s] && ctx->streams[s]->index == pkt.stream_index) st = ctx->streams[s];
    if (!st || perStream[pkt.stream_index]++ >= 12) continue;
    const std::string_view payload(reinterpret_cast<const char*>(pkt.data), static_cast<size_t>(pkt.size));
    if (st->kind == krv::KIND_DATA) {
      Write(out / "vehicle" / Hex((*vehicle)++), payload);
    } else if (st->kind == krv::KIND_AUDIO) {
      const char selector = st->codec_id == 69632 ? 1 : 0;
      Write(out / "voice" / Hex((*voice)++), std::string(1, selector) + std::string(payload));
    }
  }
  krv::url_fclose(ctx->pb);
  krv::packet_free(&pkt);
  krv::krv_read_close(ctx);
  delete ctx;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_make_seeds OUT_DIR RECORDING.krv...\n");
    return 2;
  }
  const fs::path out = argv[1];
  size_t vehicle = 0, voice = 0;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && bytes.empty()) {
      std::fprintf(stderr, "fuzz_make_seeds: cannot read %s\n", argv[i]);
      return 1;
    }
    const std::string name = fs::path(argv[i]).stem().string();
    Write(out / "krv" / (name + ".krv"), bytes);
    Write(out / "krv" / (name + "-head.krv"), std::string_view(bytes).substr(0, 4096));
    if (!SplitRecording(argv[i], out, &vehicle, &voice)) {
      std::fprintf(stderr, "fuzz_make_seeds: cannot open %s\n", argv[i]);
      return 1;
    }
  }
  const std::string_view english = corvane::EmbeddedLanguageFile(false);
  const std::string_view chinese = corvane::EmbeddedLanguageFile(true);
  Write(out / "ini" / "setting.ini", corvane::kDefaultSettingsFile);
  Write(out / "ini" / "setting-full.ini",
        "[Setting]\r\nLanguage=English\r\n[ScreenConfig]\r\nScreenNum=4\r\n[Brightmere]\r\nFolderName=/rec\r\n"
        "AudioChannel=0\r\nSnapshotPath=/snap/\r\nMapOffset=1\r\n[WaveConfig]\r\nSpeed=0\r\nTemperature=1\r\n");
  Write(out / "ini" / "language_eng.ini", english);
  Write(out / "ini" / "language_ch.ini", chinese);
  Write(out / "language" / "language_eng.ini", english);
  Write(out / "language" / "language_ch.ini", chinese);
  size_t lines = 0;
  for (std::string_view file : {english, chinese}) {
    size_t at = 0;
    while (at < file.size() && lines < 64) {
      size_t end = file.find('\n', at);
      if (end == std::string_view::npos) end = file.size();
      Write(out / "decode" / Hex(lines++), file.substr(at, end - at));
      at = end + 1;
    }
  }
  const char* names[] = {"20240315083000_1000.krv", "20240315083000_0011_01.avi", "20991231235959_1111.krv",
                         "19700101000000_0000_04.avi", "20240315083000_1000", "x_1.krv"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) Write(out / "record_name" / Hex(i), names[i]);
  Write(out / "hosts" / "two-devices.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<hosts><group><serverproxy><ip>10.0.0.1</ip><port>6001</port>"
        "</serverproxy><device><name>Bus 12</name><type>dvr</type><ip>10.0.0.7</ip><port>6002</port>"
        "<username>admin</username><password>pw</password><channelnum>0,1,2,3</channelnum>"
        "<deviceid>7,9,11,13</deviceid></device><device><name>Bus 13</name><ip>10.0.0.8</ip>"
        "<rtspport>8554</rtspport><channelnum>2</channelnum></device></group></hosts>\n");
  Write(out / "hosts" / "edge.xml",
        "<r><g><device><ip>1.1.1.1</ip><name>a</name><channelnum> 300,-4,,5x</channelnum><deviceid>-1,513"
        "</deviceid><ip/><!-- c --></device></g></r>");
  std::printf("seeds: %zu vehicle records, %zu sound packets\n", vehicle, voice);
  return 0;
}
