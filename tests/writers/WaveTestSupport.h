// Helpers shared by the WAV writer tests: a run harness, header field
// access, an IMA ADPCM reference decoder written from the block layout, and
// the outside decoders.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/TestSources.h"
#include "writers/ACS_Wave.h"

namespace cdx::test {

inline uint32_t U32At(const std::vector<uint8_t>& f, size_t pos) {
  return f[pos] | (f[pos + 1] << 8) | (f[pos + 2] << 16) |
         (static_cast<uint32_t>(f[pos + 3]) << 24);
}
inline uint16_t U16At(const std::vector<uint8_t>& f, size_t pos) {
  return static_cast<uint16_t>(f[pos] | (f[pos + 1] << 8));
}
inline std::string IdAt(const std::vector<uint8_t>& f, size_t pos) {
  return std::string(f.begin() + pos, f.begin() + pos + 4);
}
inline std::vector<uint8_t> Tail(const std::vector<uint8_t>& f, size_t from) {
  return std::vector<uint8_t>(f.begin() + std::min(from, f.size()), f.end());
}

// One source feeding one WAV writer, with the outcome of its runs.
// Members that handlers touch come first, so the writer goes before them.
struct TWaveRun {
  std::mutex mutex;
  std::vector<std::string> errorList;
  std::atomic<int> done{0};
  ComponentPtr<TMemorySource> source;
  ComponentPtr<TWaveOut> writer;

  TWaveRun(const std::string& file, std::vector<uint8_t> bytes, int rate = 44100, int channels = 2,
           int bits = 16)
      : source(MakeComponent<TMemorySource>(std::move(bytes), rate, channels, bits)),
        writer(MakeComponent<TWaveOut>()) {
    writer->SetInput(source.get());
    writer->SetFileName(file);
    writer->OnDone = [this](TComponent*) { ++done; };
    writer->OnThreadException = [this](TComponent*, const std::exception& e) {
      std::lock_guard lock(mutex);
      errorList.push_back(e.what());
    };
  }
  // Runs to the end; true when it finished and nothing failed so far.
  bool Run() {
    int before = done;
    return RunToEnd(*writer) && done == before + 1 && Errors().empty();
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(mutex);
    return errorList;
  }
  // Replaces the source with a new one (the old one is freed).
  void Feed(std::vector<uint8_t> bytes, int rate = 44100, int channels = 2, int bits = 16) {
    auto next = MakeComponent<TMemorySource>(std::move(bytes), rate, channels, bits);
    writer->SetInput(next.get());
    source = std::move(next);
  }
};

// --- Hand-made WAV files ---------------------------------------------------------

inline void PutLE(std::vector<uint8_t>& v, uint32_t x, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
inline std::vector<uint8_t> FmtBody(uint16_t tag, uint16_t channels, uint32_t rate,
                                    uint16_t blockAlign, uint16_t bits) {
  std::vector<uint8_t> b;
  PutLE(b, tag, 2);
  PutLE(b, channels, 2);
  PutLE(b, rate, 4);
  PutLE(b, rate * blockAlign, 4);
  PutLE(b, blockAlign, 2);
  PutLE(b, bits, 2);
  return b;
}
// A chunk: identifier, declared size (the body's by default), body.
inline std::vector<uint8_t> Chunk(const std::string& id, const std::vector<uint8_t>& body,
                                  int64_t declared = -1) {
  std::vector<uint8_t> c(id.begin(), id.end());
  PutLE(c, static_cast<uint32_t>(declared < 0 ? body.size() : declared), 4);
  c.insert(c.end(), body.begin(), body.end());
  return c;
}
// A RIFF file of the given chunks, its size field right.
inline std::vector<uint8_t> WaveFile(const std::vector<std::vector<uint8_t>>& chunks,
                                     const std::string& riff = "RIFF",
                                     const std::string& wave = "WAVE") {
  std::vector<uint8_t> body(wave.begin(), wave.end());
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk(riff, body);
}

// --- IMA ADPCM reference decoder ----------------------------------------------

struct TImaDecodeResult {
  std::vector<int16_t> samples;      // interleaved
  std::array<int, 2> lastStepIndex;  // per channel after the last block
};

// How a decoder rebuilds a step from a code's magnitude m (0-7): the
// standard's shift-and-add (step/8 + step if m&4 + step/2 if m&2 + step/4 if
// m&1), or ((2m + 1) * step) / 8, which ffmpeg uses; the two differ by
// rounding only.
enum class TImaDelta { ShiftAdd, Multiply };

inline TImaDecodeResult DecodeImaReference(const std::vector<uint8_t>& data, int channels,
                                           int blockSize,
                                           TImaDelta arithmetic = TImaDelta::Multiply) {
  static const int steps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
      25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
      88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
      307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
      1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
      3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
      12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  static const int indexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  const int perChannel = channels == 1 ? 2 * (blockSize - 4) : blockSize - 8;
  TImaDecodeResult r{};
  for (size_t b = 0; b + blockSize <= data.size(); b += blockSize) {
    const uint8_t* block = data.data() + b;
    size_t base = r.samples.size();
    r.samples.resize(base + static_cast<size_t>(perChannel + 1) * channels);
    for (int c = 0; c < channels; ++c) {
      int pred = static_cast<int16_t>(block[4 * c] | (block[4 * c + 1] << 8));
      int index = block[4 * c + 2];
      r.samples[base + c] = static_cast<int16_t>(pred);
      for (int i = 0; i < perChannel; ++i) {
        int byte = channels == 1 ? 4 + i / 2 : 8 + (i / 8) * 8 + (i / 2) % 4 + 4 * c;
        int code = (i % 2 == 0) ? block[byte] & 0xF : block[byte] >> 4;
        int step = steps[index];
        int diff = step >> 3;
        if (code & 4) diff += step;
        if (code & 2) diff += step >> 1;
        if (code & 1) diff += step >> 2;
        if (arithmetic == TImaDelta::Multiply) diff = ((2 * (code & 7) + 1) * step) >> 3;
        pred = std::clamp(code & 8 ? pred - diff : pred + diff, -32768, 32767);
        index = std::clamp(index + indexAdjust[code & 7], 0, 88);
        r.samples[base + static_cast<size_t>(i + 1) * channels + c] = static_cast<int16_t>(pred);
      }
      r.lastStepIndex[c] = index;
    }
  }
  return r;
}

// --- Outside decoders ----------------------------------------------------------

// The file decoded to interleaved 16-bit samples by ffmpeg; empty on failure.
inline std::vector<int16_t> DecodeWithFfmpeg(const std::string& wav, const std::string& raw) {
  std::string out;
  int rc = RunCommand(
      "ffmpeg -v error -y -i '" + wav + "' -f s16le -acodec pcm_s16le '" + raw + "'", &out);
  EXPECT_EQ(rc, 0) << out;
  return Samples(ReadFile(raw));
}

// One stream field as ffprobe reports it ("codec_name", "channels", ...).
inline std::string Probe(const std::string& wav, const std::string& field) {
  std::string out;
  int rc = RunCommand(
      "ffprobe -v error -show_entries stream=" + field + " -of default=nw=1:nk=1 '" + wav + "'",
      &out);
  EXPECT_EQ(rc, 0) << out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// The sample count (frames) that sox reads from the file's header.
inline std::string SoxSamples(const std::string& wav) {
  std::string out;
  int rc = RunCommand("sox --i -s '" + wav + "'", &out);
  EXPECT_EQ(rc, 0) << out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace cdx::test
