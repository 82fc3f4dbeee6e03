// krvtool live: the summary shared by krvtool, which hands the command on,
// and krvtool-media, which runs it (media_commands.h).
#pragma once

namespace krvtool {

inline constexpr char kLiveSummary[] = "show a live RTSP channel headless and record it to a KRV file";

}  // namespace krvtool
