// The container's codec identifiers and libavcodec's: the recorder's numbers
// are fixed by its files, libavcodec's enum moves between versions, so the
// two are mapped by table and never by value.
#pragma once

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace media {

// Container codec identifiers the pipeline knows.
enum ACCodecId : int {
  AC_CODEC_H263_SORENSON = 22,
  AC_CODEC_H264 = 28,
  AC_CODEC_PCM_S16LE = 65536,
  AC_CODEC_PCM_S16BE = 65537,
  AC_CODEC_PCM_S8 = 65540,
  AC_CODEC_HISI_VOICE = 69632,  // decoded by our voice library, not libavcodec
  AC_CODEC_ADPCM_MS = 69638,
  AC_CODEC_ADPCM_SWF = 69645,
  AC_CODEC_MP3 = 86017,
  AC_CODEC_AAC = 86018,
};

// libavcodec's identifier for a container identifier; AV_CODEC_ID_NONE for
// one libavcodec does not decode (HiSilicon voice, unknown numbers).
AVCodecID acAvCodecId(int containerCodecId);

}  // namespace media
