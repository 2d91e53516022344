// The checksums against an independent reckoning in Python
// (checksum_oracle.py): on the notes' 452-sector file, whose worked values
// both must give, then on real music.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "cd/TrackChecksums.h"
#include "tests/support/TestSources.h"

namespace cdx {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  while (size_t n = pipe ? fread(buffer, 1, sizeof buffer, pipe) : 0) out.append(buffer, n);
  if (pipe) pclose(pipe);
  return out;
}

// The sink's results in the oracle's words, fed in blocks that cut samples.
std::string Sink(const std::vector<uint8_t>& pcm) {
  std::string out;
  char line[80];
  TTrackChecksumResult r;
  for (int first : {0, 1}) {
    for (int last : {0, 1}) {
      TTrackChecksums sums({pcm.size() / 4, first == 1, last == 1});
      for (size_t at = 0; at < pcm.size(); at += 17643)
        sums.Samples(pcm.data() + at, std::min<size_t>(17643, pcm.size() - at));
      r = sums.Result();
      std::snprintf(line, sizeof line, "%d %d %08x %08x\n", first, last, r.ArV1, r.ArV2);
      out += line;
    }
  }
  std::snprintf(line, sizeof line, "%08x %08x %08x %u\n", r.Crc32, r.Crc32SkipZero, r.Frame450,
                r.Peak);
  return out + line;
}

TEST(ChecksumOracle, SinkAndPythonAgreeOnTheWorkedFileAndOnRealMusic) {
  test::TTempDir temp;
  const std::string pcm = temp.File("track.pcm"), music = "/usr/share/games/etr/music/";
  struct Case {
    const char* name;
    std::string make;      // a command that writes `pcm`; "" for the worked file
    const char* expected;  // the notes' values; nullptr for music
  } cases[] = {
      {"452 sectors, L = 7k, R = 13k + 5", "",
       "0 0 cfd07990 eb0188c1\n0 1 f6e4289c fe320542\n1 0 ecbe23a8 07d59a4d\n"
       "1 1 13d1d2b4 1b0616ce\n0acb0630 82218e6f c23aa194 32768\n"},
      // Ten seconds from the middle of a piece, and a piece's fade to its
      // end, where skip-zero matters.
      {"music", "ffmpeg -v error -y -ss 30 -i " + music + "race1-jt.ogg", nullptr},
      {"a fade", "ffmpeg -v error -y -sseof -10 -i " + music + "credits1-cp.ogg", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.make.empty()) {
      std::ofstream out(pcm, std::ios::binary);
      for (uint32_t k = 0; k < 265776; ++k) {
        uint32_t word = (7 * k & 0xFFFF) | ((13 * k + 5) & 0xFFFF) << 16;
        out.write(reinterpret_cast<const char*>(&word), 4);
      }
    } else {
      Output(c.make + " -t 10 -f s16le -ar 44100 -ac 2 '" + pcm + "'");
    }
    std::vector<uint8_t> bytes = test::ReadFile(pcm);
    ASSERT_GT(bytes.size(), 6u * 176400) << "no audio";
    std::string oracle =
        Output("/usr/bin/python3 " CDX_SOURCE_DIR "/tests/cd/checksum_oracle.py '" + pcm + "'");
    EXPECT_EQ(Sink(bytes), oracle);
    EXPECT_EQ(oracle, c.expected ? c.expected : oracle);
  }
}

}  // namespace
}  // namespace cdx
