// The names of exported files, as the save dialog proposes them: the
// recording's date and time moved to the start of the stretch, the
// source's four record-type digits and the channel.
#pragma once

#include <cstdint>
#include <string>

namespace avexport {

// "YYYYMMDDhhmmss_TTTT_CC": recordingStart + startSecond as UTC, the four
// record-type digits read from the file part of sourceName after its first
// "_" (each 0 when missing) and channel + 1 (channel 0-3).
std::string ProposedName(int64_t recordingStart, int startSecond, const std::string& sourceName, int channel);

// The name of channel k (1-4) built from a proposed name: everything up to
// and with its last "_", k as two digits, then its extension (from its last
// "." on, when there is one).
std::string ChannelName(const std::string& proposed, int k);

// path with ".avi" appended when its file part has no extension.
std::string WithAviExtension(const std::string& path);

}  // namespace avexport
