// One packet as a reader thread hands it to the export: the source's bytes
// and the facts of its stream the outputs need. Nothing is copied; the data
// lives until the reader reads its next packet.
#pragma once

#include <cstdint>

#include "krvreader/byte_io.h"

namespace avexport {

struct SourcePacket {
  int fileKind = 0;        // 0 a KRV recording, 1 an AVI channel file
  int channel = -1;        // 0-3; -1 for a stream without a channel
  int streamKind = 0;      // krv::KIND_VIDEO, KIND_AUDIO or KIND_DATA
  int codecId = 0;         // the container's codec identifier
  const unsigned char* data = nullptr;
  int size = 0;
  bool key = false;
  int64_t timeMs = 0;      // KRV: dts / 1000; AVI: dts x time base, in ms
  int64_t dts = 0;         // as the source gives it, in timeBase units
  krv::AVRational timeBase{1, 1000000};
  int width = 0;           // video: the source stream's picture
  int height = 0;
  int framesPerSecond = 0; // KRV video: the stream's rate, 0 when unknown
};

}  // namespace avexport
