// Test data for the media tests: made with the ffmpeg command-line tool into
// the build tree once, and shared by every test process (each CTest test is
// its own process, so files are made under a temporary name and renamed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mediatest {

using Bytes = std::vector<unsigned char>;

// The path of $CORVANE_BUILD_DIR/testdata/media/name, made first when missing by running `command`
// with "%OUT%" replaced by a temporary path. Empty on failure.
std::string Ensure(const std::string& name, const std::string& command);

Bytes ReadFile(const std::string& path);

// Splits an H.264 Annex B stream into access units: a new unit starts at an
// access unit delimiter, SEI, SPS or PPS, or at a slice whose first
// macroblock is 0, once the current unit holds a slice.
std::vector<Bytes> SplitAccessUnits(const Bytes& stream);

// The NAL units of an Annex B stream (start codes included).
std::vector<Bytes> SplitNalUnits(const Bytes& stream);
int NalType(const Bytes& nal);

// The MD5 lines ffmpeg's framemd5 muxer prints for the first stream of
// `path`: one lower-case hex digest per frame.
std::vector<std::string> FfmpegFrameMd5(const std::string& path);

std::string Md5Hex(const unsigned char* data, size_t size);

// A WAV file's block alignment and data chunk.
struct Wav {
  int blockAlign = 0;
  Bytes data;
};
bool ParseWav(const Bytes& file, Wav* wav);

// Decodes `path` with ffmpeg to raw 16-bit little-endian mono samples.
std::vector<int16_t> FfmpegDecodeS16(const std::string& path);

// A test H.264 stream (testsrc) made by libx264 without B-frames, GOP 10.
std::string H264Stream(int width, int height, int frames);

}  // namespace mediatest
