#include "tests/apecompress/ApeTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace apetest {
namespace {

struct CommandOutput {
  int exitCode;
  std::string text;
};

CommandOutput RunCommand(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

std::string Quote(const std::string& s) {
  return "'" + s + "'";
}

// The Java decoder spends most of its time in the default collector's
// write barriers: with the serial one and the quick compiler alone it
// decodes the same bytes in less than half the time.
constexpr const char* kJmac =
    "java -XX:+UseSerialGC -XX:TieredStopAtLevel=1 -jar /usr/share/java/jmac.jar ";

CommandOutput RunJmac(const std::string& arguments) {
  CommandOutput out = RunCommand(kJmac + arguments);
  // Keep what is not its progress: the command's first line and "Progress:" lines.
  std::istringstream lines(out.text);
  std::string line, kept;
  for (bool first = true; std::getline(lines, line); first = false) {
    const bool announce =
        first && (line.rfind("Verifying '", 0) == 0 || line.rfind("Decompressing '", 0) == 0);
    if (!announce && line.rfind("Progress: ", 0) != 0) kept += line + "\n";
  }
  out.text = kept;
  return out;
}

// The bytes of the "data" chunk of a RIFF/WAVE file; empty if there is none.
std::vector<uint8_t> WavData(const std::vector<uint8_t>& wav) {
  for (size_t at = 12; at + 8 <= wav.size();) {
    const uint32_t size = Le32(wav, at + 4);
    if (std::equal(wav.begin() + std::ptrdiff_t(at), wav.begin() + std::ptrdiff_t(at) + 4,
                   "data")) {
      const size_t end = std::min(wav.size(), at + 8 + size_t(size));
      return {wav.begin() + std::ptrdiff_t(at) + 8, wav.begin() + std::ptrdiff_t(end)};
    }
    at += 8 + size_t(size) + size % 2;
  }
  return {};
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "apetest-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string SignalName(Signal s) {
  switch (s) {
    case Signal::kSilence:
      return "Silence";
    case Signal::kSquare:
      return "Square20Hz";
    case Signal::kNyquistSquare:
      return "SquareNyquist";
    case Signal::kNoise:
      return "Noise";
    case Signal::kMonoInBoth:
      return "MonoInBoth";
    case Signal::kClicks:
      return "ClicksAfterSilence";
    case Signal::kSweep:
      return "Sweep";
  }
  return "?";
}

Pcm Generate(Signal s, uint32_t blocks, int channels, uint32_t seed) {
  Pcm pcm(size_t(blocks) * size_t(channels));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> full(-32768, 32767);
  for (uint32_t n = 0; n < blocks; ++n) {
    for (int c = 0; c < channels; ++c) {
      int v = 0;
      switch (s) {
        case Signal::kSilence:
          break;
        case Signal::kSquare:
          v = (n / 1102 + c) % 2 ? 32767 : -32768;
          break;
        case Signal::kNyquistSquare:
          v = n % 2 ? 32767 : -32768;
          break;
        case Signal::kNoise:
          v = full(random);
          break;
        case Signal::kMonoInBoth:
          if (c == 0)
            v = int(12000 * std::sin(n * 0.031) + (full(random) >> 6));
          else
            v = pcm[size_t(n) * 2];
          break;
        case Signal::kClicks:
          v = n % 3000 == 2999 ? (c ? -32768 : 32767) : 0;
          break;
        case Signal::kSweep:
          v = int(30000 * std::sin(1e-5 * double(n) * n + c));
          break;
      }
      pcm[size_t(n) * channels + c] = int16_t(v);
    }
  }
  return pcm;
}

std::vector<uint8_t> ToBytes(const Pcm& pcm) {
  std::vector<uint8_t> bytes(pcm.size() * 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    bytes[2 * i] = uint8_t(pcm[i]);
    bytes[2 * i + 1] = uint8_t(uint16_t(pcm[i]) >> 8);
  }
  return bytes;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Pcm DecodeMusic(const std::string& track, double startSeconds, double seconds) {
  const std::string path = "/usr/share/games/etr/music/" + track;
  if (!std::filesystem::exists(path)) return {};
  TempDir dir;
  const std::string raw = dir.File("music.raw");
  std::ostringstream cmd;
  cmd << "ffmpeg -nostdin -v error -ss " << startSeconds << " -t " << seconds << " -i "
      << Quote(path) << " -f s16le -ar 44100 -ac 2 " << Quote(raw);
  if (RunCommand(cmd.str()).exitCode != 0) return {};
  const std::vector<uint8_t> bytes = ReadFile(raw);
  Pcm pcm(bytes.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return pcm;
}

EncodeResult Encode(const std::string& path, const std::vector<uint8_t>& bytes,
                    const EncodeSettings& settings) {
  EncodeResult result;
  int error = -1;
  apecompress::CompressorOptions options;
  options.blocksPerFrame = settings.blocksPerFrame;
  options.threads = settings.threads;
  APE_COMPRESS_HANDLE handle = apecompress::CreateCompressor(options, &error);
  if (handle == nullptr || error != 0) throw std::runtime_error("create failed");
  WAVEFORMATEX format;
  FillWaveFormatEx(&format, settings.rate, 16, settings.channels);
  result.start = c_APECompress_Start(handle, path.c_str(), &format, settings.maxAudioBytes,
                                     settings.level, settings.header, settings.headerBytes);
  if (result.start == 0) {
    size_t done = 0;
    while (done < bytes.size() && result.unlock == 0) {
      int available = 0;
      unsigned char* buffer = c_APECompress_LockBuffer(handle, &available);
      if (buffer == nullptr || available <= 0) throw std::runtime_error("no buffer offered");
      const size_t piece = std::min({bytes.size() - done, settings.piece, size_t(available)});
      std::copy_n(bytes.data() + done, piece, buffer);
      done += piece;
      result.unlock = c_APECompress_UnlockBuffer(handle, int(piece), 1);
    }
    std::vector<uint8_t> tail = settings.tail;
    result.finish = c_APECompress_Finish(handle, tail.empty() ? nullptr : tail.data(),
                                         int(tail.size()), settings.wavTail);
  }
  c_APECompress_Destroy(handle);
  return result;
}

Decoded DecodeWithFfmpeg(const std::string& apePath) {
  const std::string raw = apePath + ".dec.raw";
  const CommandOutput out =
      RunCommand("ffmpeg -nostdin -y -v error -err_detect crccheck+explode -i " + Quote(apePath) +
                 " -f s16le -c:a pcm_s16le " + Quote(raw));
  Decoded decoded{out.exitCode, out.text, ReadFile(raw)};
  std::filesystem::remove(raw);
  return decoded;
}

Decoded DecodeWithJmac(const std::string& apePath) {
  const std::string wav = apePath + ".dec.wav";
  const CommandOutput out = RunJmac("d " + Quote(apePath) + " " + Quote(wav));
  Decoded decoded{out.exitCode, out.text, WavData(ReadFile(wav))};
  std::filesystem::remove(wav);
  return decoded;
}

std::string VerifyWithJmac(const std::string& apePath) {
  return RunJmac("v " + Quote(apePath)).text;
}

Probe ProbeWithFfprobe(const std::string& apePath) {
  const CommandOutput out = RunCommand(
      "ffprobe -v error -show_entries "
      "stream=codec_name,sample_rate,channels,duration_ts,nb_frames -of default=nw=1 " +
      Quote(apePath));
  Probe probe;
  std::istringstream lines(out.text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "codec_name") probe.codec = value;
    if (key == "sample_rate") probe.rate = std::stoi(value);
    if (key == "channels") probe.channels = std::stoi(value);
    if (key == "duration_ts") probe.durationTs = std::stoll(value);
    if (key == "nb_frames") probe.frames = std::stoll(value);
  }
  return probe;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t offset) {
  return uint32_t(Le16(b, offset)) | uint32_t(Le16(b, offset + 2)) << 16;
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t offset) {
  return uint16_t(b.at(offset) | b.at(offset + 1) << 8);
}

uint32_t LogicalBe32(const std::vector<uint8_t>& file, size_t area, size_t offset) {
  uint32_t value = 0;
  for (size_t k = offset; k < offset + 4; ++k) {
    value = value << 8 | file.at(area + k / 4 * 4 + 3 - k % 4);
  }
  return value;
}

std::vector<uint8_t> Md5Sum(const std::vector<uint8_t>& bytes, const std::string& scratchPath) {
  std::ofstream(scratchPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  const CommandOutput out = RunCommand("md5sum " + Quote(scratchPath));
  std::vector<uint8_t> digest;
  for (size_t i = 0; out.exitCode == 0 && i + 1 < out.text.size() && i < 32; i += 2) {
    digest.push_back(uint8_t(std::stoi(out.text.substr(i, 2), nullptr, 16)));
  }
  return digest;
}

}  // namespace apetest
