// Ogg Vorbis files as the reference tools see them (ogginfo, oggdec,
// ffmpeg, ffprobe, vorbiscomment): the tests never judge an Ogg file by the
// program's own code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cdx::test {

// One logical stream as ogginfo describes it; bitrates in kb/s, -1 when
// ogginfo says "not set".
struct TOggStream {
  std::string Serial;
  int Channels = 0;
  int Rate = 0;
  double Nominal = -1;
  double Upper = -1;
  double Lower = -1;
  bool Ended = false;  // "Logical stream N ended"
};

struct TOggInfo {
  int Status = -1;
  std::string Output;
  std::vector<TOggStream> Streams;
  // Exit status 0 and not a warning or an error in what it said.
  bool Clean() const;
};
TOggInfo OggInfo(const std::string& path);

// The samples oggdec decodes, as raw 16-bit little-endian PCM; empty when
// it fails. oggdec is exact to the sample; use it on one stream only.
std::vector<uint8_t> DecodeWithOggdec(const std::string& path);
// The samples ffmpeg decodes (every stream of a chain); empty when it
// fails, `errors` gets what it said.
std::vector<uint8_t> DecodeWithFfmpegTool(const std::string& path, std::string* errors = nullptr);
// ffprobe's "sample_rate,channels,duration_ts" of the first audio stream;
// duration_ts is the stream's length in samples by its granule positions.
std::string ProbeStream(const std::string& path);
// The comments vorbiscomment lists, one "NAME=value" per entry, in order.
std::vector<std::string> VorbisCommentsOf(const std::string& path);

// How far decoded audio is from the original, as the ratio of the error's
// energy to the original's, per channel: 0 is a perfect copy, 1 is as far
// as silence. Compares the first min(length) frames.
std::vector<double> RelativeError(const std::vector<uint8_t>& original,
                                  const std::vector<uint8_t>& decoded, int channels);

}  // namespace cdx::test
