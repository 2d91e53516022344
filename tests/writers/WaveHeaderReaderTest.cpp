// The header reader on its own: what it finds, where it gives up, and that
// no input makes it read past 8,192 bytes.
#include <gtest/gtest.h>

#include <random>

#include "tests/writers/WaveHeaderCheck.h"
#include "tests/writers/WaveTestSupport.h"

namespace cdx::test {
namespace {

std::vector<uint8_t> AdpcmHeader(uint32_t factSize = 4) {
  auto fmt = FmtBody(0x11, 2, 44100, 512, 4);
  PutLE(fmt, 2, 2);
  PutLE(fmt, 505, 2);
  std::vector<uint8_t> fact;
  PutLE(fact, 123456, 4);
  fact.resize(factSize);
  return WaveFile({Chunk("fmt ", fmt), Chunk("fact", fact), Chunk("data", {})});
}

TEST(WaveHeaderReader, FindsTheFieldsAndWhereTheSizesLie) {
  // Junk before "RIFF" and before "WAVE" is slid over; unknown chunks are
  // skipped at every stage.
  auto pcm = WaveFile({Chunk("JUNK", CountingBytes(13)), Chunk("fmt ", FmtBody(1, 2, 48000, 4, 16)),
                       Chunk("LIST", CountingBytes(6)), Chunk("data", CountingBytes(40))});
  pcm.insert(pcm.begin() + 8, {'x', 'y'});
  pcm.insert(pcm.begin(), {'a', 'b', 'c'});
  auto info = ReadHeaderBytes(pcm).info;
  EXPECT_EQ(info.Type, wtPCM);
  EXPECT_EQ(info.SampleRate, 48000u);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.BitsPerSample, 16);
  EXPECT_EQ(info.BlockAlign, 4);
  EXPECT_EQ(info.DataSize, 40u);
  EXPECT_EQ(info.DataStart, int64_t(pcm.size() - 40));
  EXPECT_EQ(info.DataSizePos, info.DataStart - 4);

  for (uint32_t factSize : {4u, 8u}) {
    auto adpcm = AdpcmHeader(factSize);
    info = ReadHeaderBytes(adpcm).info;
    EXPECT_EQ(info.Type, wtDVIADPCM);
    EXPECT_EQ(info.BlockAlign, 512);
    EXPECT_EQ(info.FactPos, 48);
    EXPECT_EQ(info.FactValue, 123456u);
    EXPECT_EQ(info.DataStart, int64_t(adpcm.size()));
  }
}

TEST(WaveHeaderReader, GivesUpOnEveryTruncationAndOddFormat) {
  auto full = AdpcmHeader();
  for (size_t n = 0; n < full.size(); ++n) {
    auto cut = std::vector<uint8_t>(full.begin(), full.begin() + n);
    EXPECT_EQ(ReadHeaderBytes(cut).info.Type, wtUnsupported) << n;
  }
  EXPECT_EQ(ReadHeaderBytes(full).info.Type, wtDVIADPCM);

  auto shortFmt = FmtBody(1, 2, 44100, 4, 16);
  shortFmt.resize(14);
  EXPECT_EQ(ReadHeaderBytes(WaveFile({Chunk("fmt ", shortFmt), Chunk("data", {})})).info.Type,
            wtUnsupported);
  EXPECT_EQ(
      ReadHeaderBytes(WaveFile({Chunk("fmt ", FmtBody(2, 2, 44100, 4, 16)), Chunk("data", {})}))
          .info.Type,
      wtUnsupported);
  // "fmt " followed by a chunk claiming 4 GiB: refused without reading it.
  auto huge = WaveFile({Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16)), Chunk("JUNK", {}, 0xFFFFFFFF)});
  auto r = ReadHeaderBytes(huge);
  EXPECT_EQ(r.info.Type, wtUnsupported);
  EXPECT_LE(r.furthest, int64_t(huge.size()));
}

TEST(WaveHeaderReader, StopsAt8192Bytes) {
  // 12 (RIFF, WAVE) + 24 (fmt) + 8 (JUNK head) + padding + 8 (data head)
  // puts the first data byte at exactly 8,192.
  for (int extra : {0, 1}) {
    auto file = WaveFile({Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16)),
                          Chunk("JUNK", std::vector<uint8_t>(8192 - 52 + extra, 0)),
                          Chunk("data", CountingBytes(5000))});
    auto r = ReadHeaderBytes(file);
    EXPECT_EQ(r.info.Type, extra ? wtUnsupported : wtPCM);
    if (!extra) {
      EXPECT_EQ(r.info.DataStart, 8192);
    }
    EXPECT_LE(r.furthest, kWaveHeaderLimit);
  }
  // Sliding through a file with no "RIFF" at all ends at the limit.
  auto noise = CountingBytes(100000);
  auto r = ReadHeaderBytes(noise);
  EXPECT_EQ(r.info.Type, wtUnsupported);
  EXPECT_EQ(r.furthest, kWaveHeaderLimit);
}

// The same checks the fuzz target makes, on a few thousand deterministic
// mutations, so that every build runs some of them.
TEST(WaveHeaderReader, MutatedHeadersNeverCrashOrReadTooFar) {
  const std::vector<uint8_t> seeds[] = {
      AdpcmHeader(),
      WaveFile({Chunk("fmt ", FmtBody(1, 2, 44100, 4, 16)), Chunk("LIST", CountingBytes(20)),
                Chunk("data", CountingBytes(64))}),
      WaveFile({Chunk("fmt ", FmtBody(1, 1, 8000, 1, 8)), Chunk("data", {})}, "riff", "wave"),
  };
  std::mt19937 rng(1234);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    auto bytes = seeds[rng() % std::size(seeds)];
    for (int edits = 1 + rng() % 4; edits > 0; --edits) {
      size_t at = rng() % (bytes.size() + 1);
      switch (rng() % 4) {
        case 0:  // overwrite a byte
          if (at < bytes.size()) bytes[at] = static_cast<uint8_t>(rng());
          break;
        case 1:  // a size field grows or shrinks
          if (at + 4 <= bytes.size()) bytes[at + rng() % 4] = static_cast<uint8_t>(rng() % 256);
          break;
        case 2:  // cut
          bytes.resize(at);
          break;
        default:  // insert a run of bytes
          bytes.insert(bytes.begin() + at, rng() % 9000, static_cast<uint8_t>(rng()));
      }
    }
    std::string problem = CheckHeaderReader(bytes.data(), bytes.size());
    ASSERT_EQ(problem, "") << "round " << round;
    accepted += ReadHeaderBytes(bytes).info.Type != wtUnsupported;
  }
  // The mutations must leave some headers readable, or the checks above
  // would only ever see the reader give up.
  EXPECT_GT(accepted, 1000);
}

}  // namespace
}  // namespace cdx::test
