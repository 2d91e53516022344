// The rip log carries what a reader of it checks, and its SHA-256 line
// tells a changed log from an unchanged one.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "tests/support/TestSources.h"
#include "verify/RipLog.h"

namespace cdx::verify {
namespace {

TLogRecord Record() {
  TLogRecord r;
  r.CreatedUtc = "2024-05-01T10:00:00Z";
  r.Drive = "image: /discs/music.cue";
  r.ReadOffset = r.OffsetSilence = 6;
  r.OffsetSource = "user";
  r.TestAndCopy = true;
  r.Toc = {{{1, true, 0, 0, false, false, "GBAYE0000001"}, {2, true, 16612, 33, true, false, ""}},
           30000,
           "0123456789012"};
  r.Ids = ComputeDiscIds(r.Toc);
  r.Lookup = {TArLookup::Found, {}, "", ""};
  TLogTrack one;
  one.Number = 1;
  one.File = "01 - First.flac";
  one.LastSector = 16611;
  one.Isrc = "GBAYE0000001";
  one.Copy.Crc32 = *(one.TestCrc = 0x1A2B3C4D);
  one.Copy.Peak = 32768;
  one.Ar = {TArStatus::Accurate, true, false, 12, 19, {0x11111111}, false, ""};
  TLogTrack two = one;
  two.Number = 2;
  two.FirstSector = 16612;
  two.PreEmphasis = true;
  two.Ar = {TArStatus::Mismatch, false, false, 0, 19, {0x11111111}, false, ""};
  two.ReadErrors = 2;
  two.SuspectSectors = {16612 + 4500 + 75 + 3};
  r.Tracks = {one, two};
  return r;
}

TEST(RipLog, NamesEverythingAReaderChecks) {
  std::string log = BuildRipLog(Record());
  const char* lines[] = {
      "cd extractor " CDX_VERSION " rip log",
      "Created: 2024-05-01T10:00:00Z",
      "Drive: image: /discs/music.cue",
      "Read offset correction: +6 samples (user)",
      "Fill missing offset samples with silence: yes (6 samples filled)",
      "      2 | 03:41:37 | 02:58:38 |        16612 |      29999 | audio",
      "MCN: 0123456789012",
      "AccurateRip disc ID: 002-",
      "  Pre-emphasis: yes",
      "  Peak level: 1.000000 (100.0 %)",
      "  Test CRC32: 1A2B3C4D",
      "  AccurateRip result: matched (v1), confidence 12/19",
      "  AccurateRip result: not matched, confidence 0/19",
      "  Read errors: 2",
      "  Suspicious positions: 1:01.03",
      "  AccurateRip: 1 of 2 tracks accurately ripped",
      "  Not accurate: track 2 (not matched, confidence 0/19)",
      "Not all tracks accurately ripped",
  };
  for (const char* line : lines) EXPECT_NE(log.find(line), std::string::npos) << line;
  EXPECT_EQ(log.rfind("\nSHA-256 hash: "), log.size() - 80);
  TLogRecord good = Record();
  good.Tracks.pop_back();
  EXPECT_NE(BuildRipLog(good).find("\nAll tracks accurately ripped\n"), std::string::npos);
}

TEST(RipLog, ChecksumLineTellsAChangedLog) {
  const std::string log = BuildRipLog(Record());
  auto at = log.find("Copy CRC32: 1A2B") + 12;
  std::string oneByte = log;
  oneByte[at] = '2';
  std::string crlf;
  for (char c : log) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  struct Case {
    const char* name;
    std::string text;
    TLogCheck check;
  } cases[] = {
      {"as written", log, TLogCheck::Unchanged},
      {"line ends made CRLF, spaces added at line ends", crlf, TLogCheck::Unchanged},
      {"one byte changed", oneByte, TLogCheck::Changed},
      {"a line removed", log.substr(log.find('\n') + 1), TLogCheck::Changed},
      {"text after the checksum line", log + "edited\n", TLogCheck::Changed},
      {"checksum line removed", log.substr(0, log.rfind("SHA-256")), TLogCheck::NoChecksum},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckRipLog(c.text), c.check) << c.name;
  EXPECT_EQ(LogCheckText(TLogCheck::Changed), "The log was changed after it was written");
}

// Recomputes the checksum as anyone could: the lines above it, trimmed,
// joined with '\n'.
TEST(RipLog, ChecksumIsTheSha256OfTheTrimmedLinesAbove) {
  test::TTempDir temp;
  std::string log = BuildRipLog(Record());
  std::ofstream(temp.File("rip.log")) << log;
  std::string command = "head -n -1 " + temp.File("rip.log") +
                        " | sed 's/[[:space:]]*$//' | head -c -1 | sha256sum | tr a-f A-F";
  FILE* pipe = popen(command.c_str(), "r");
  char out[80] = {};
  ASSERT_TRUE(pipe && fgets(out, sizeof out, pipe));
  pclose(pipe);
  EXPECT_EQ("SHA-256 hash: " + std::string(out, 64) + "\n", log.substr(log.rfind("SHA-256")));
}

}  // namespace
}  // namespace cdx::verify
