// MP3 files as independent readers see them: ffmpeg decodes them, ffprobe
// and mutagen describe them and read their tags, and the frame headers are
// read here straight from the bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cdx::test {

// What ffmpeg and ffprobe make of a file.
struct TDecodedMp3 {
  bool Ok = false;     // ffmpeg decoded it without a word on stderr
  std::string Errors;  // what it said otherwise
  int64_t Frames = 0;  // sample frames decoded (gapless: delay and padding removed)
  int SampleRate = 0;
  int Channels = 0;
  int BitRate = 0;           // bit/s, as ffprobe reports the stream
  double Duration = 0;       // s, ffprobe's duration of the file
  std::vector<int16_t> Pcm;  // the decoded samples, interleaved
};
TDecodedMp3 DecodeMp3(const std::string& path);

// What mutagen reads: "length" (s), "mode" (0 stereo, 1 joint, 2 dual, 3
// mono), "bitrate_mode" (CBR, VBR, UNKNOWN), and each tag it finds under
// title, artist, album, year, track, comment, genre (UTF-8). An empty map
// when mutagen could not read the file.
std::map<std::string, std::string> MutagenView(const std::string& path);

// One frame header of the stream.
struct TMp3Frame {
  int64_t Offset = 0;
  int Bytes = 0;
  int BitRate = 0;  // kbit/s
  int SampleRate = 0;
  int Mode = 0;
  bool Crc = false;
  bool Copyright = false;
  bool Original = false;
};

// The frames from the start of `file` on, one after the other, up to the
// first bytes that are no frame (an ID3v1 tag, or the end).
std::vector<TMp3Frame> Mp3Frames(const std::vector<uint8_t>& file);
// Where the frames of `file` end.
int64_t Mp3FramesEnd(const std::vector<uint8_t>& file);

}  // namespace cdx::test
