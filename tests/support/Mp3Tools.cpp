#include "tests/support/Mp3Tools.h"

#include <filesystem>
#include <sstream>

#include "tests/support/TestSources.h"

namespace cdx::test {

namespace {

std::map<std::string, std::string> KeyValueLines(const std::string& text) {
  std::map<std::string, std::string> values;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

int ToInt(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (...) {
    return 0;
  }
}

}  // namespace

TDecodedMp3 DecodeMp3(const std::string& path) {
  TDecodedMp3 decoded;
  std::string probe;
  RunCommand(
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=sample_rate,channels,bit_rate:format=duration -of default=nw=1 '" +
          path + "'",
      &probe);
  auto values = KeyValueLines(probe);
  decoded.SampleRate = ToInt(values["sample_rate"]);
  decoded.Channels = ToInt(values["channels"]);
  decoded.BitRate = ToInt(values["bit_rate"]);
  try {
    decoded.Duration = std::stod(values["duration"]);
  } catch (...) {
  }
  const std::string raw = path + ".decoded.raw";
  const int status = RunCommand(
      "ffmpeg -nostdin -v error -y -i '" + path + "' -f s16le -c:a pcm_s16le '" + raw + "'",
      &decoded.Errors);
  decoded.Pcm = Samples(ReadFile(raw));
  std::filesystem::remove(raw);
  decoded.Ok = status == 0 && decoded.Errors.empty() && decoded.Channels > 0;
  if (decoded.Channels > 0)
    decoded.Frames = static_cast<int64_t>(decoded.Pcm.size()) / decoded.Channels;
  return decoded;
}

std::map<std::string, std::string> MutagenView(const std::string& path) {
  // The system's python, the one Debian's python3-mutagen belongs to.
  static const char* const kScript = R"(
import sys, mutagen.mp3
m = mutagen.mp3.MP3(sys.argv[1])
print('length=%.6f' % m.info.length)
print('mode=%d' % m.info.mode)
print('bitrate_mode=%s' % str(m.info.bitrate_mode).split('.')[-1])
names = {'TIT2': 'title', 'TPE1': 'artist', 'TALB': 'album', 'TDRC': 'year',
         'TRCK': 'track', 'COMM': 'comment', 'TCON': 'genre'}
for key, frame in (m.tags or {}).items():
    name = names.get(key.split(':')[0])
    if name:
        print('%s=%s' % (name, str(frame.text[0])))
)";
  const std::string script = path + ".view.py";
  WriteFile(script,
            std::vector<uint8_t>(kScript, kScript + std::char_traits<char>::length(kScript)));
  std::string output;
  const int status = RunCommand(
      "PYTHONIOENCODING=utf-8 /usr/bin/python3 '" + script + "' '" + path + "'", &output);
  std::filesystem::remove(script);
  return status == 0 ? KeyValueLines(output) : std::map<std::string, std::string>{};
}

namespace {

// Layer III bitrates (kbit/s) by header index, MPEG-1 and MPEG-2/2.5.
constexpr int kBitRates[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
// Sample rates by header index, MPEG-1, MPEG-2, MPEG-2.5.
constexpr int kSampleRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

bool ReadFrame(const std::vector<uint8_t>& file, int64_t at, TMp3Frame& frame) {
  if (at + 4 > static_cast<int64_t>(file.size())) return false;
  const uint8_t* h = file.data() + at;
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || (h[1] & 0x06) != 0x02) return false;  // Layer III
  const int versionBits = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  const int bitRateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3;
  if (versionBits == 1 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3) return false;
  const bool mpeg1 = versionBits == 3;
  frame.Offset = at;
  frame.BitRate = kBitRates[mpeg1 ? 0 : 1][bitRateIndex];
  frame.SampleRate = kSampleRates[mpeg1 ? 0 : versionBits == 2 ? 1 : 2][rateIndex];
  const int padding = (h[2] >> 1) & 1;
  frame.Bytes = (mpeg1 ? 144000 : 72000) * frame.BitRate / frame.SampleRate + padding;
  frame.Crc = (h[1] & 1) == 0;
  frame.Mode = h[3] >> 6;
  frame.Copyright = (h[3] >> 3) & 1;
  frame.Original = (h[3] >> 2) & 1;
  return at + frame.Bytes <= static_cast<int64_t>(file.size());
}

}  // namespace

std::vector<TMp3Frame> Mp3Frames(const std::vector<uint8_t>& file) {
  std::vector<TMp3Frame> frames;
  TMp3Frame frame;
  for (int64_t at = 0; ReadFrame(file, at, frame); at += frame.Bytes) frames.push_back(frame);
  return frames;
}

int64_t Mp3FramesEnd(const std::vector<uint8_t>& file) {
  const auto frames = Mp3Frames(file);
  return frames.empty() ? 0 : frames.back().Offset + frames.back().Bytes;
}

}  // namespace cdx::test
