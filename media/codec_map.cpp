#include "media/codec_map.h"

namespace media {

namespace {
struct CodecPair {
  int container;
  AVCodecID av;
};
constexpr CodecPair kCodecs[] = {
    {AC_CODEC_H263_SORENSON, AV_CODEC_ID_FLV1},
    {AC_CODEC_H264, AV_CODEC_ID_H264},
    {AC_CODEC_PCM_S16LE, AV_CODEC_ID_PCM_S16LE},
    {AC_CODEC_PCM_S16BE, AV_CODEC_ID_PCM_S16BE},
    {AC_CODEC_PCM_S8, AV_CODEC_ID_PCM_S8},
    {AC_CODEC_ADPCM_MS, AV_CODEC_ID_ADPCM_MS},
    {AC_CODEC_ADPCM_SWF, AV_CODEC_ID_ADPCM_SWF},
    {AC_CODEC_MP3, AV_CODEC_ID_MP3},
    {AC_CODEC_AAC, AV_CODEC_ID_AAC},
};
}  // namespace

AVCodecID acAvCodecId(int containerCodecId) {
  for (const CodecPair& p : kCodecs)
    if (p.container == containerCodecId) return p.av;
  return AV_CODEC_ID_NONE;
}

}  // namespace media
