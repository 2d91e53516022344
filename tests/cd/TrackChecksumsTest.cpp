// The checksums of a track against the worked values of the notes, fed in
// blocks of every size a reader may hand out.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "cd/TrackChecksums.h"

namespace cdx {
namespace {

using Pcm = std::vector<uint8_t>;

Pcm Make(size_t samples, const std::function<void(size_t, uint16_t&, uint16_t&)>& at) {
  Pcm pcm(samples * 4);
  for (size_t k = 0; k < samples; ++k) {
    uint16_t l = 0, r = 0;
    at(k, l, r);
    pcm[4 * k] = l & 0xFF;
    pcm[4 * k + 1] = l >> 8;
    pcm[4 * k + 2] = r & 0xFF;
    pcm[4 * k + 3] = r >> 8;
  }
  return pcm;
}

const Pcm kMicro = Make(3, [](size_t k, uint16_t& l, uint16_t& r) {
  const uint16_t left[] = {1, 0x8000, 0}, right[] = {2, 0xFFFF, 0};
  l = left[k];
  r = right[k];
});
const Pcm k12 = Make(7056, [](size_t k, uint16_t& l, uint16_t& r) {
  l = static_cast<uint16_t>(k);
  r = static_cast<uint16_t>(2 * k);
});
const Pcm k452 = Make(265776, [](size_t k, uint16_t& l, uint16_t& r) {
  l = static_cast<uint16_t>(7 * k);
  r = static_cast<uint16_t>(13 * k + 5);
});

TTrackChecksumResult Checksums(const Pcm& pcm, bool first, bool last, size_t block = 1 << 20) {
  TTrackChecksums sums({pcm.size() / 4, first, last});
  for (size_t at = 0; at < pcm.size(); at += block)
    sums.Samples(pcm.data() + at, std::min(block, pcm.size() - at));
  return sums.Result();
}

TEST(TrackChecksums, AccurateRipSumsMatchTheWorkedValuesInEveryPlaceOnTheDisc) {
  struct Case {
    const char* name;
    const Pcm& pcm;
    bool first, last;
    uint32_t v1, v2;
  } cases[] = {
      {"micro, track 2 of 3", kMicro, false, false, 0x00010001, 0x00010002},
      {"micro, track 1 of 3", kMicro, true, false, 0, 0},
      {"micro, track 3 of 3", kMicro, false, true, 0, 0},
      {"12 sectors, track 2 of 3", k12, false, false, 0x914A26D0, 0x9180A09D},
      {"12 sectors, track 1 of 3", k12, true, false, 0x3738F5F8, 0x376B8494},
      {"12 sectors, track 3 of 3", k12, false, true, 0x1E365A64, 0x1E412569},
      {"12 sectors, track 1 of 1", k12, true, true, 0xC425298C, 0xC42C0960},
      {"452 sectors, track 2 of 3", k452, false, false, 0xCFD07990, 0xEB0188C1},
      {"452 sectors, track 1 of 3", k452, true, false, 0xECBE23A8, 0x07D59A4D},
      {"452 sectors, track 3 of 3", k452, false, true, 0xF6E4289C, 0xFE320542},
      {"452 sectors, track 1 of 1", k452, true, true, 0x13D1D2B4, 0x1B0616CE},
  };
  // Whole, by sectors, and in splits that cut samples apart.
  for (size_t block : {size_t{1} << 24, size_t{2352}, size_t{4097}, size_t{3}}) {
    for (const Case& c : cases) {
      if (block == 3 && c.pcm.size() > 100000) continue;
      SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(block));
      auto r = Checksums(c.pcm, c.first, c.last, block);
      EXPECT_EQ(r.ArV1, c.v1);
      EXPECT_EQ(r.ArV2, c.v2);
      EXPECT_TRUE(r.Complete());
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pcm altered = k12;
    altered[4 * c.index] ^= 0x01;
    altered[4 * c.index + 2] ^= 0x01;
    EXPECT_EQ(Checksums(altered, c.first, c.last).ArV1, c.v1);
  }
}

TEST(TrackChecksums, CrcsAndFrame450MatchTheWorkedValues) {
  struct Case {
    const char* name;
    const Pcm& pcm;
    uint32_t crc, crcSkipZero;
    bool hasFrame450;
    uint32_t frame450;
  } cases[] = {
      {"micro", kMicro, 0x4233DC8F, 0xBB537783, false, 0},
      {"12 sectors", k12, 0x193CC0A6, 0x9B2B1535, false, 0},
      {"452 sectors", k452, 0x0ACB0630, 0x82218E6F, true, 0xC23AA194},
  };
  for (size_t block : {size_t{1} << 24, size_t{2352}, size_t{4097}, size_t{5}}) {
    for (const Case& c : cases) {
      if (block == 5 && c.pcm.size() > 100000) continue;
      SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(block));
      // Neither depends on the place on the disc.
      auto r = Checksums(c.pcm, true, true, block);
      EXPECT_EQ(r.Crc32, c.crc);
      EXPECT_EQ(r.Crc32SkipZero, c.crcSkipZero);
      EXPECT_EQ(r.HasFrame450, c.hasFrame450);
      EXPECT_EQ(r.Frame450, c.frame450);
    }
  }
}

TEST(TrackChecksums, PeakIsTheLargestMagnitudeOfEitherChannel) {
  struct Case {
    const char* name;
    uint16_t left, right;
    uint32_t peak;
  } cases[] = {
      {"silence", 0, 0, 0},
      {"full scale negative right", 100, 0x8000, 32768},
      {"full scale positive left", 0x7FFF, 0xFFFF, 32767},
      {"small negative", 0xFFF6, 3, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pcm pcm = Make(5000, [&](size_t k, uint16_t& l, uint16_t& r) {
      l = k == 4321 ? c.left : 0;
      r = k == 17 ? c.right : 0;
    });
    auto r = Checksums(pcm, false, false, 999);
    EXPECT_EQ(r.Peak, c.peak);
  }
}

TEST(TrackChecksums, ATrackCutShortIsIncompleteAndResetStartsAfresh) {
  TTrackChecksums sums({7056, false, false});
  sums.Samples(k12.data(), 7000 * 4);
  EXPECT_FALSE(sums.Result().Complete());
  EXPECT_EQ(sums.Result().SamplesSeen, 7000u);
  // The copy pass of the same track gives what a fresh sink gives.
  sums.Reset({7056, false, false});
  sums.Samples(k12.data(), k12.size());
  auto r = sums.Result();
  EXPECT_TRUE(r.Complete());
  EXPECT_EQ(r.ArV1, 0x914A26D0u);
  EXPECT_EQ(r.Crc32, 0x193CC0A6u);
}

}  // namespace
}  // namespace cdx
