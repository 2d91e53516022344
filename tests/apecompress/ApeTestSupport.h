// Helpers of the APE compressor tests: generated PCM, a run of the
// compressor through its handle interface, and the independent decoders:
// ffmpeg (with frame CRC checking made fatal) with its prober, and a decoder
// of the format's reference family (which reads frames one after the
// other, and whose verify command checks the file's MD5).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/apecompress/Compressor.h"

namespace apetest {

using Pcm = std::vector<int16_t>;  // interleaved samples

// A frame length for tests that want many frames: odd, so frames end
// mid-word before padding.
inline constexpr uint32_t kSmallFrame = 4097;

// A fresh directory, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

enum class Signal { kSilence, kSquare, kNyquistSquare, kNoise, kMonoInBoth, kClicks, kSweep };
std::string SignalName(Signal s);
Pcm Generate(Signal s, uint32_t blocks, int channels, uint32_t seed = 1);

std::vector<uint8_t> ToBytes(const Pcm& pcm);
std::vector<uint8_t> ReadFile(const std::string& path);
// Real music: `seconds` of a track of the benchmark set as 44.1 kHz stereo;
// empty if the track is not installed.
Pcm DecodeMusic(const std::string& track, double startSeconds, double seconds);

struct EncodeSettings {
  int level = 2000;
  int channels = 2;
  int rate = 44100;
  uint32_t blocksPerFrame = 0;  // the level's own
  unsigned threads = 0;         // as many as cores
  int maxAudioBytes = -1;
  size_t piece = 65536;  // bytes offered per hand-over, as the writer does
  const void* header = nullptr;
  int headerBytes = -1;
  std::vector<uint8_t> tail;
  int wavTail = 0;
};

struct EncodeResult {
  int start = -1;
  int unlock = 0;  // the first non-zero UnlockBuffer result
  int finish = -1;
};

// Runs one compression through the handle functions.
EncodeResult Encode(const std::string& path, const std::vector<uint8_t>& bytes,
                    const EncodeSettings& settings);

struct Decoded {
  int exitCode = -1;
  std::string messages;  // everything ffmpeg printed
  std::vector<uint8_t> pcm;
};
Decoded DecodeWithFfmpeg(const std::string& apePath);
// The reference-family decoder, run as a program: `pcm` is the data of the
// WAV file it writes, `messages` all it printed besides its progress.
Decoded DecodeWithJmac(const std::string& apePath);
// Its verify command: what it printed besides its progress, "" when the file
// verifies. (Its exit status is 0 whatever happens, so only this tells.)
std::string VerifyWithJmac(const std::string& apePath);

struct Probe {
  std::string codec;
  int rate = 0;
  int channels = 0;
  int64_t durationTs = -1;
  int64_t frames = -1;
};
Probe ProbeWithFfprobe(const std::string& apePath);

uint32_t Le32(const std::vector<uint8_t>& b, size_t offset);
uint16_t Le16(const std::vector<uint8_t>& b, size_t offset);
// The big-endian 32-bit value at logical byte `offset` of the audio area
// that starts at `area`: the area is stored as 32-bit words, each in the
// opposite byte order.
uint32_t LogicalBe32(const std::vector<uint8_t>& file, size_t area, size_t offset);
// The MD5 of `bytes` by md5sum, which reads them from `scratchPath`.
std::vector<uint8_t> Md5Sum(const std::vector<uint8_t>& bytes, const std::string& scratchPath);

}  // namespace apetest
