// krvtool extract FILE --stream ID -o OUT: the raw payloads of one stream.
#include <cstdio>
#include <memory>

#include "command.h"
#include "krv_session.h"
#include "krvreader/reader.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool extract FILE --stream ID -o OUT\n"
    "\n"
    "Reads FILE as the KRV reader thread does and writes the payloads of the\n"
    "packets whose stream identifier is ID to OUT, in file order, back to back:\n"
    "for a video stream an H.264 Annex B stream, for an audio stream its blocks\n"
    "or frames. Reading ends at the end of the file or at the first packet that\n"
    "cannot be read, as in playback. Prints \"packets N bytes M\" to stderr.\n"
    "Exit 0; 1 when FILE cannot be read or OUT cannot be written; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"extract", "write the raw payloads of one stream of a KRV file", kUsage, run};
KRVTOOL_COMMAND(kCommand);

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};

int run(const std::vector<std::string>& args) {
  std::string in, out;
  long long id = -1;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--stream") {
      if (i + 1 >= args.size() || !ParseInt(args[++i], 0, 0xFFFFFF, &id))
        return usageError(kCommand, "--stream needs an identifier 0-16777215");
    } else if (a == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return usageError(kCommand, "-o needs a file name");
      out = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return usageError(kCommand, "unknown option " + a);
    } else if (in.empty()) {
      in = a;
    } else {
      return usageError(kCommand, "expects one FILE");
    }
  }
  if (in.empty()) return usageError(kCommand, "expects FILE");
  if (id < 0) return usageError(kCommand, "expects --stream ID");
  if (out.empty()) return usageError(kCommand, "expects -o OUT");

  krv::Reader s;
  if (!s.Open(in)) {
    std::fprintf(stderr, "krvtool extract: cannot open %s\n", in.c_str());
    return kFileError;
  }
  std::unique_ptr<FILE, FileCloser> f(std::fopen(out.c_str(), "wb"));
  if (!f) {
    std::fprintf(stderr, "krvtool extract: cannot write %s\n", out.c_str());
    return kFileError;
  }
  long long packets = 0, bytes = 0;
  const krv::RecordingPacket* pkt = &s.Packet();
  while (s.Next() > 0) {
    if (pkt->stream_index != id || pkt->size <= 0 || pkt->data == nullptr) continue;
    if (std::fwrite(pkt->data, 1, static_cast<size_t>(pkt->size), f.get()) != static_cast<size_t>(pkt->size)) {
      std::fprintf(stderr, "krvtool extract: cannot write %s\n", out.c_str());
      return kFileError;
    }
    ++packets;
    bytes += pkt->size;
  }
  if (std::fclose(f.release()) != 0) {
    std::fprintf(stderr, "krvtool extract: cannot write %s\n", out.c_str());
    return kFileError;
  }
  std::fprintf(stderr, "packets %lld bytes %lld\n", packets, bytes);
  return kOk;
}

}  // namespace
}  // namespace krvtool
