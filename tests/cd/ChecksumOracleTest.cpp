// The checksums of real music against an independent reckoning in Python
// (tests/cd/checksum_oracle.py), which first proves itself on the notes'
// worked values.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cd/TrackChecksums.h"
#include "tests/support/TestSources.h"

namespace cdx {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  return out;
}

std::string Oracle(const std::string& pcmPath) {
  return Output("/usr/bin/python3 " CDX_SOURCE_DIR "/tests/cd/checksum_oracle.py '" + pcmPath + "'");
}

// What the sink says, in the oracle's words, fed in blocks that cut samples.
std::string Sink(const std::vector<uint8_t>& pcm) {
  std::ostringstream out;
  TTrackChecksumResult r;
  for (int first : {0, 1}) {
    for (int last : {0, 1}) {
      TTrackChecksums sums({pcm.size() / 4, first == 1, last == 1});
      for (size_t at = 0; at < pcm.size(); at += 17643)
        sums.Samples(pcm.data() + at, std::min<size_t>(17643, pcm.size() - at));
      r = sums.Result();
      char line[64];
      std::snprintf(line, sizeof line, "%d %d %08x %08x\n", first, last, r.ArV1, r.ArV2);
      out << line;
    }
  }
  char line[64];
  std::snprintf(line, sizeof line, "%08x %08x %08x %u\n", r.Crc32, r.Crc32SkipZero, r.Frame450,
                r.Peak);
  out << line;
  return out.str();
}

TEST(ChecksumOracle, PythonGivesTheNotesWorkedValues) {
  test::TTempDir temp;
  std::vector<uint8_t> pcm;
  for (uint32_t k = 0; k < 265776; ++k) {
    uint16_t l = static_cast<uint16_t>(7 * k), r = static_cast<uint16_t>(13 * k + 5);
    pcm.insert(pcm.end(), {static_cast<uint8_t>(l), static_cast<uint8_t>(l >> 8),
                           static_cast<uint8_t>(r), static_cast<uint8_t>(r >> 8)});
  }
  std::ofstream(temp.File("452.pcm"), std::ios::binary)
      .write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
  EXPECT_EQ(Oracle(temp.File("452.pcm")),
            "0 0 cfd07990 eb0188c1\n"
            "0 1 f6e4289c fe320542\n"
            "1 0 ecbe23a8 07d59a4d\n"
            "1 1 13d1d2b4 1b0616ce\n"
            "0acb0630 82218e6f c23aa194 32768\n");
}

TEST(ChecksumOracle, SinkAgreesWithPythonOnRealMusic) {
  test::TTempDir temp;
  // Ten seconds from the middle of a piece, its quiet start and end left
  // out, and a piece's fade to silence, where skip-zero matters.
  struct Case {
    const char* file;
    const char* from;
  } cases[] = {{"race1-jt.ogg", "30"}, {"credits1-cp.ogg", "-10"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string pcmPath = temp.File("music.pcm");
    std::string seek =
        c.from[0] == '-' ? std::string("-sseof ") + c.from : std::string("-ss ") + c.from;
    Output("ffmpeg -v error -y " + seek + " -i /usr/share/games/etr/music/" + c.file +
        " -t 10 -f s16le -ar 44100 -ac 2 '" + pcmPath + "'");
    std::vector<uint8_t> pcm = test::ReadFile(pcmPath);
    ASSERT_GT(pcm.size(), 6u * 176400) << "no music from ffmpeg";
    EXPECT_EQ(Sink(pcm), Oracle(pcmPath));
  }
}

}  // namespace
}  // namespace cdx
