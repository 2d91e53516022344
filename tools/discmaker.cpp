#include "tools/discmaker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <numbers>
#include <stdexcept>

namespace cdx::discmaker {

namespace {

constexpr std::array<uint8_t, 12> kSync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr uint32_t kPregapSectors = 150;  // address of LSN 0 is 00:02:00

uint8_t Bcd(uint32_t value) {
  return static_cast<uint8_t>((value / 10) * 16 + value % 10);
}

void PutLe16(uint8_t* out, int16_t value) {
  auto bits = static_cast<uint16_t>(value);
  out[0] = static_cast<uint8_t>(bits & 0xFF);
  out[1] = static_cast<uint8_t>(bits >> 8);
}

int16_t Clamp16(long value) {
  return static_cast<int16_t>(std::clamp<long>(value, -32768, 32767));
}

std::string Msf(uint32_t sector) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", sector / 4500, (sector / 75) % 60,
                sector % 75);
  return text;
}

uint32_t RawFileSectors(const std::string& path) {
  std::error_code ec;
  auto bytes = std::filesystem::file_size(path, ec);
  if (ec) throw std::runtime_error("cannot read raw audio file " + path);
  return static_cast<uint32_t>((bytes + kSectorBytes - 1) / kSectorBytes);
}

}  // namespace

TrackSpec Sine(uint32_t sectors, double frequency, double amplitude, double rightFrequency) {
  TrackSpec t;
  t.sectors = sectors;
  t.frequency = frequency;
  t.amplitude = amplitude;
  t.rightFrequency = rightFrequency;
  return t;
}

TrackSpec Noise(uint32_t sectors, uint32_t seed, double amplitude) {
  TrackSpec t;
  t.signal = Signal::Noise;
  t.sectors = sectors;
  t.seed = seed;
  t.amplitude = amplitude;
  return t;
}

TrackSpec Silence(uint32_t sectors) {
  TrackSpec t;
  t.signal = Signal::Silence;
  t.sectors = sectors;
  return t;
}

TrackSpec Square(uint32_t sectors, double frequency, double amplitude) {
  TrackSpec t;
  t.signal = Signal::Square;
  t.sectors = sectors;
  t.frequency = frequency;
  t.amplitude = amplitude;
  return t;
}

TrackSpec Data(uint32_t sectors, uint32_t seed) {
  TrackSpec t;
  t.kind = TrackKind::Data;
  t.sectors = sectors;
  t.seed = seed;
  return t;
}

TrackSpec Raw(const std::string& path, uint32_t sectors) {
  TrackSpec t;
  t.signal = Signal::RawFile;
  t.path = path;
  t.sectors = sectors;
  return t;
}

uint32_t TrackSectors(const TrackSpec& track) {
  if (track.kind == TrackKind::Audio && track.signal == Signal::RawFile && track.sectors == 0)
    return RawFileSectors(track.path);
  return track.sectors;
}

std::vector<uint32_t> StartSectors(const std::vector<TrackSpec>& tracks) {
  std::vector<uint32_t> starts{0};
  for (const auto& t : tracks) starts.push_back(starts.back() + TrackSectors(t));
  return starts;
}

TrackWriter::TrackWriter(const TrackSpec& track, uint32_t startSector)
    : spec_(track), start_(startSector), total_(TrackSectors(track)), noiseState_(track.seed) {
  // xorshift needs a non-zero state; seed 0 is a valid choice for callers.
  if (noiseState_ == 0) noiseState_ = 0x9E3779B9u;
  if (spec_.kind == TrackKind::Audio && spec_.signal == Signal::RawFile) {
    raw_.open(spec_.path, std::ios::binary);
    if (!raw_) throw std::runtime_error("cannot open raw audio file " + spec_.path);
  }
}

void TrackWriter::Next(uint8_t* out, uint32_t count) {
  if (count > Remaining()) throw std::logic_error("TrackWriter: past the end of the track");
  for (uint32_t i = 0; i < count; ++i, ++done_, out += kSectorBytes) {
    if (spec_.kind == TrackKind::Data)
      DataSector(out);
    else
      AudioSector(out);
  }
}

void TrackWriter::AudioSector(uint8_t* out) {
  if (spec_.signal == Signal::RawFile) {
    raw_.read(reinterpret_cast<char*>(out), kSectorBytes);
    auto got = raw_ ? kSectorBytes : static_cast<int>(raw_.gcount());
    std::memset(out + got, 0, kSectorBytes - got);
    return;
  }
  uint64_t first = static_cast<uint64_t>(done_) * kFramesPerSector;
  for (int f = 0; f < kFramesPerSector; ++f) {
    PutLe16(out + f * 4, Sample(0, first + f));
    PutLe16(out + f * 4 + 2, Sample(1, first + f));
  }
}

int16_t TrackWriter::Sample(int channel, uint64_t frame) {
  double amp = spec_.amplitude;
  switch (spec_.signal) {
    case Signal::Silence:
    case Signal::RawFile:
      return 0;
    case Signal::Noise: {
      noiseState_ ^= noiseState_ << 13;
      noiseState_ ^= noiseState_ >> 17;
      noiseState_ ^= noiseState_ << 5;
      auto raw = static_cast<int16_t>(noiseState_ >> 16);
      return amp >= 1.0 ? raw : Clamp16(std::lround(raw * amp));
    }
    case Signal::Square: {
      double cycles = spec_.frequency * static_cast<double>(frame) / kSampleRate;
      bool high = cycles - std::floor(cycles) < 0.5;
      return high ? Clamp16(std::lround(amp * 32767.0)) : Clamp16(-std::lround(amp * 32768.0));
    }
    case Signal::Sine: {
      double f =
          (channel == 1 && spec_.rightFrequency > 0) ? spec_.rightFrequency : spec_.frequency;
      double phase = 2.0 * std::numbers::pi * f * static_cast<double>(frame) / kSampleRate;
      return Clamp16(std::lround(amp * 32767.0 * std::sin(phase) * Fade(frame)));
    }
  }
  return 0;
}

double TrackWriter::Fade(uint64_t frame) const {
  if (spec_.fadeSectors == 0) return 1.0;
  double fadeFrames = static_cast<double>(spec_.fadeSectors) * kFramesPerSector;
  double totalFrames = static_cast<double>(total_) * kFramesPerSector;
  double in = (static_cast<double>(frame) + 1.0) / fadeFrames;
  double out = (totalFrames - static_cast<double>(frame)) / fadeFrames;
  return std::min({1.0, in, out});
}

void TrackWriter::DataSector(uint8_t* out) {
  uint32_t lsn = start_ + done_;
  uint32_t address = lsn + kPregapSectors;
  std::memset(out, 0, kSectorBytes);
  std::memcpy(out, kSync.data(), kSync.size());
  out[12] = Bcd(address / 4500);
  out[13] = Bcd((address / 75) % 60);
  out[14] = Bcd(address % 75);
  out[15] = 1;  // Mode 1
  uint32_t state = spec_.seed * 2654435761u + lsn;
  for (int i = 0; i < 2048; ++i) {
    state = state * 1664525u + 1013904223u;
    out[16 + i] = static_cast<uint8_t>(state >> 24);
  }
}

std::vector<uint8_t> TrackBytes(const TrackSpec& track, uint32_t startSector) {
  TrackWriter writer(track, startSector);
  std::vector<uint8_t> bytes(static_cast<size_t>(writer.Remaining()) * kSectorBytes);
  writer.Next(bytes.data(), writer.Remaining());
  return bytes;
}

std::string CueSheet(const std::vector<TrackSpec>& tracks, const std::string& binName) {
  auto starts = StartSectors(tracks);
  std::string cue = "FILE \"" + binName + "\" BINARY\n";
  for (size_t i = 0; i < tracks.size(); ++i) {
    char number[24];
    std::snprintf(number, sizeof number, "%02zu", i + 1);
    bool audio = tracks[i].kind == TrackKind::Audio;
    cue += std::string("  TRACK ") + number + (audio ? " AUDIO\n" : " MODE1/2352\n");
    cue += "    INDEX 01 " + Msf(starts[i]) + "\n";
  }
  return cue;
}

std::string WriteImage(const std::string& cuePath, const std::vector<TrackSpec>& tracks) {
  if (tracks.empty() || tracks.size() > 99) throw std::runtime_error("a disc has 1 to 99 tracks");
  std::filesystem::path cue(cuePath);
  auto bin = cue;
  bin.replace_extension(".bin");
  auto starts = StartSectors(tracks);

  std::ofstream out(bin, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create " + bin.string());
  constexpr uint32_t kBlockSectors = kSectorsPerSecond;
  std::vector<uint8_t> block(static_cast<size_t>(kBlockSectors) * kSectorBytes);
  for (size_t i = 0; i < tracks.size(); ++i) {
    TrackWriter writer(tracks[i], starts[i]);
    while (writer.Remaining() > 0) {
      uint32_t n = std::min(kBlockSectors, writer.Remaining());
      writer.Next(block.data(), n);
      out.write(reinterpret_cast<const char*>(block.data()),
                static_cast<std::streamsize>(n) * kSectorBytes);
    }
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + bin.string());

  std::ofstream sheet(cue, std::ios::trunc);
  sheet << CueSheet(tracks, bin.filename().string());
  sheet.close();
  if (!sheet) throw std::runtime_error("cannot write " + cue.string());
  return bin.string();
}

std::string WriteShiftedImage(const std::string& cuePath, const std::vector<TrackSpec>& tracks,
                              int offset) {
  if (tracks.empty() || tracks.size() > 99) throw std::runtime_error("a disc has 1 to 99 tracks");
  auto starts = StartSectors(tracks);
  std::vector<uint8_t> audio;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (tracks[i].kind != TrackKind::Audio)
      throw std::runtime_error("a shifted image holds audio tracks only");
    auto bytes = TrackBytes(tracks[i], starts[i]);
    audio.insert(audio.end(), bytes.begin(), bytes.end());
  }
  std::vector<uint8_t> shifted(audio.size(), 0);
  auto size = static_cast<int64_t>(audio.size());
  int64_t move = static_cast<int64_t>(offset) * 4;
  for (int64_t to = std::max<int64_t>(0, move); to < std::min(size, size + move); ++to)
    shifted[static_cast<size_t>(to)] = audio[static_cast<size_t>(to - move)];

  std::filesystem::path cue(cuePath);
  auto bin = cue;
  bin.replace_extension(".bin");
  std::ofstream out(bin, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(shifted.data()), size);
  out.close();
  if (!out) throw std::runtime_error("cannot write " + bin.string());
  std::ofstream sheet(cue, std::ios::trunc);
  sheet << CueSheet(tracks, bin.filename().string());
  sheet.close();
  if (!sheet) throw std::runtime_error("cannot write " + cue.string());
  return bin.string();
}

std::vector<TrackSpec> DemoDisc() {
  // Quiet open fifths and a major sixth, faded in and out so that nothing
  // clicks: about 77 seconds in all.
  struct Tone {
    uint32_t seconds;
    double left, right;
  };
  constexpr std::array<Tone, 4> tones = {
      {{20, 440.0, 659.25}, {15, 523.25, 783.99}, {30, 329.63, 493.88}, {12, 392.0, 659.25}}};
  std::vector<TrackSpec> disc;
  for (const auto& tone : tones) {
    auto t = Sine(tone.seconds * kSectorsPerSecond, tone.left, 0.25, tone.right);
    t.fadeSectors = kSectorsPerSecond;
    disc.push_back(t);
  }
  return disc;
}

namespace {

double ParseNumber(const std::string& key, const std::string& value) {
  size_t used = 0;
  double number = 0;
  try {
    number = std::stod(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || !std::isfinite(number) || number < 0)
    throw std::invalid_argument("bad value for " + key + ": \"" + value + "\"");
  return number;
}

uint32_t ParseSectors(const std::string& key, const std::string& value) {
  bool seconds = !value.empty() && value.back() == 's';
  double n = ParseNumber(key, seconds ? value.substr(0, value.size() - 1) : value);
  if (!seconds && n != std::floor(n))
    throw std::invalid_argument(key + " in sectors must be whole: \"" + value + "\"");
  double sectors = seconds ? std::round(n * kSectorsPerSecond) : n;
  if (sectors > 100.0 * 60 * kSectorsPerSecond)
    throw std::invalid_argument(key + " is too long: \"" + value + "\"");
  return static_cast<uint32_t>(sectors);
}

TrackSpec KindDefaults(const std::string& kind) {
  static const std::map<std::string, TrackSpec> kinds = {
      {"sine", Sine(kSectorsPerSecond, 440.0)}, {"noise", Noise(kSectorsPerSecond, 1)},
      {"silence", Silence(kSectorsPerSecond)},  {"square", Square(kSectorsPerSecond, 1000.0)},
      {"data", Data(kSectorsPerSecond)},        {"raw", Raw("", 0)}};
  auto it = kinds.find(kind);
  if (it == kinds.end()) throw std::invalid_argument("unknown track kind \"" + kind + "\"");
  return it->second;
}

void ApplyOption(TrackSpec& t, const std::string& key, const std::string& value) {
  if (key == "len")
    t.sectors = ParseSectors(key, value);
  else if (key == "freq")
    t.frequency = ParseNumber(key, value);
  else if (key == "right")
    t.rightFrequency = ParseNumber(key, value);
  else if (key == "amp")
    t.amplitude = std::min(1.0, ParseNumber(key, value));
  else if (key == "seed")
    t.seed = static_cast<uint32_t>(ParseNumber(key, value));
  else if (key == "fade")
    t.fadeSectors = ParseSectors(key, value);
  else if (key == "file")
    t.path = value;
  else
    throw std::invalid_argument("unknown option \"" + key + "\"");
}

}  // namespace

TrackSpec ParseTrack(const std::string& text) {
  auto colon = text.find(':');
  TrackSpec t = KindDefaults(text.substr(0, colon));
  std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
  size_t pos = 0;
  while (pos < rest.size()) {
    auto comma = std::min(rest.find(',', pos), rest.size());
    auto item = rest.substr(pos, comma - pos);
    auto eq = item.find('=');
    if (eq == std::string::npos)
      throw std::invalid_argument("expected key=value, got \"" + item + "\"");
    ApplyOption(t, item.substr(0, eq), item.substr(eq + 1));
    pos = comma + 1;
  }
  bool raw = t.kind == TrackKind::Audio && t.signal == Signal::RawFile;
  if (raw && t.path.empty()) throw std::invalid_argument("raw track needs file=PATH");
  if (!raw && t.sectors == 0) throw std::invalid_argument("a track needs at least one sector");
  return t;
}

}  // namespace cdx::discmaker
