// The checksums of a track against the notes' worked values, fed in blocks
// of every size a reader may hand out.
#include <gtest/gtest.h>

#include <functional>

#include "cd/TrackChecksums.h"

namespace cdx {
namespace {

using Pcm = std::vector<uint8_t>;

Pcm Make(size_t samples, const std::function<uint32_t(size_t)>& word) {
  Pcm pcm;
  for (size_t k = 0; k < samples; ++k)
    for (int b = 0; b < 4; ++b) pcm.push_back(static_cast<uint8_t>(word(k) >> (8 * b)));
  return pcm;
}

// The notes' 3-sample file, and their 12-sector file: L = k, R = 2k.
const Pcm kMicro = Make(3, [](size_t k) {
  return std::vector<uint32_t>{0x00020001, 0xFFFF8000, 0}[k];
});
const Pcm k12 = Make(
    7056, [](size_t k) { return static_cast<uint32_t>((k & 0xFFFF) | (2 * k & 0xFFFF) << 16); });

TTrackChecksumResult Feed(TTrackChecksums& sums, const Pcm& pcm, bool first, bool last,
                          size_t block, size_t bytes) {
  sums.Reset({pcm.size() / 4, first, last});
  for (size_t at = 0; at < bytes; at += block)
    sums.Samples(pcm.data() + at, std::min(block, bytes - at));
  return sums.Result();
}

TEST(TrackChecksums, WorkedValuesInEveryPlaceOnTheDiscAndInEverySplit) {
  struct Case {
    const char* name;
    const Pcm& pcm;
    bool first, last;
    uint32_t v1, v2, crc, crcSkipZero;
  } cases[] = {
      {"micro, track 2 of 3", kMicro, false, false, 0x00010001, 0x00010002, 0x4233DC8F, 0xBB537783},
      {"micro, track 1 of 3", kMicro, true, false, 0, 0, 0x4233DC8F, 0xBB537783},
      {"micro, track 3 of 3", kMicro, false, true, 0, 0, 0x4233DC8F, 0xBB537783},
      {"12 sectors, track 2 of 3", k12, false, false, 0x914A26D0, 0x9180A09D, 0x193CC0A6,
       0x9B2B1535},
      {"12 sectors, track 1 of 3", k12, true, false, 0x3738F5F8, 0x376B8494, 0x193CC0A6,
       0x9B2B1535},
      {"12 sectors, track 3 of 3", k12, false, true, 0x1E365A64, 0x1E412569, 0x193CC0A6,
       0x9B2B1535},
      {"12 sectors, track 1 of 1", k12, true, true, 0xC425298C, 0xC42C0960, 0x193CC0A6, 0x9B2B1535},
  };
  TTrackChecksums sums;  // one sink, Reset between tracks as the job does
  for (size_t block : {size_t{1} << 20, size_t{4097}, size_t{3}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(block));
      auto r = Feed(sums, c.pcm, c.first, c.last, block, c.pcm.size());
      EXPECT_EQ(r.ArV1, c.v1);
      EXPECT_EQ(r.ArV2, c.v2);
      EXPECT_EQ(r.Crc32, c.crc);
      EXPECT_EQ(r.Crc32SkipZero, c.crcSkipZero);
      EXPECT_FALSE(r.HasFrame450);
      EXPECT_TRUE(r.Complete());
      // A track cut short by one sample cannot be checked.
      EXPECT_FALSE(Feed(sums, c.pcm, c.first, c.last, block, c.pcm.size() - 4).Complete());
    }
  }
}

TEST(TrackChecksums, OnlyTheSamplesTheNotesNameAreSkippedAtTheDiscEdges) {
  struct Case {
    const char* name;
    bool first, last;
    size_t index;
    uint32_t v1;
  } cases[] = {
      {"first track, last skipped sample", true, false, 2938, 0x3738F5F8},
      {"first track, first counted sample", true, false, 2939, 0x42B4EA7C},
      {"last track, first skipped sample", false, true, 7056 - 2940, 0x1E365A64},
      {"last track, last counted sample", false, true, 7056 - 2941, 0x2E4A4A50},
  };
  TTrackChecksums sums;
  for (const Case& c : cases) {
    Pcm altered = k12;
    altered[4 * c.index] ^= 0x01;  // XOR 0x00010001 into the sample
    altered[4 * c.index + 2] ^= 0x01;
    EXPECT_EQ(Feed(sums, altered, c.first, c.last, 2352, altered.size()).ArV1, c.v1) << c.name;
  }
}

}  // namespace
}  // namespace cdx
