// The commands that decode, encode or play: they live in krvtool-media, a
// program built beside krvtool. krvtool itself loads no codec, sound or
// picture library, so that the container and catalogue commands start at once
// (the codec libraries bring well over a hundred shared libraries with them);
// it hands these commands on to krvtool-media, arguments unchanged.
#pragma once

#include <string>
#include <vector>

namespace krvtool {

inline constexpr char kFramemd5Summary[] = "MD5 of every picture or sound block the decoders make of a channel";
inline constexpr char kPlaySummary[] = "play a recording through the real pipeline, headless";
inline constexpr char kSynthSummary[] = "write a synthetic KRV recording (H.264, ADPCM, vehicle data)";
inline constexpr char kExportSummary[] = "copy a stretch of a recording into one AVI file per channel";
inline constexpr char kSynthFolderSummary[] = "write the demo record folder (KRV and AVI recordings)";

// Replaces this process with "krvtool-media NAME ARGS..." from krvtool's
// folder; returns (1, with a message) only when that cannot be done.
int RunMediaCommand(const char* name, const std::vector<std::string>& args);

}  // namespace krvtool
