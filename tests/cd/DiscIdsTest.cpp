// The disc IDs of the notes' worked discs: plain, Enhanced (data last) and
// mixed mode (data first).
#include <gtest/gtest.h>

#include <vector>

#include "cd/DiscIds.h"

namespace cdx {
namespace {

// Track starts in LSN; `data` lists the 1-based tracks that are data.
cdrip::DiscToc Toc(const std::vector<uint32_t>& starts, uint32_t leadOut,
                   const std::vector<int>& data = {}) {
  cdrip::DiscToc toc;
  for (size_t i = 0; i < starts.size(); ++i) {
    cdrip::TocTrack t;
    t.number = static_cast<int>(i + 1);
    t.start = starts[i];
    for (int d : data) t.audio = t.audio && d != t.number;
    toc.tracks.push_back(t);
  }
  toc.leadOut = leadOut;
  return toc;
}

// Absolute frames (LSN + 150), as the MusicBrainz examples give them.
cdrip::DiscToc FromFrames(const std::vector<uint32_t>& frames, uint32_t leadOutFrame) {
  std::vector<uint32_t> starts;
  for (uint32_t f : frames) starts.push_back(f - 150);
  return Toc(starts, leadOutFrame - 150);
}

TEST(DiscIds, WorkedDiscsGiveTheirIds) {
  struct Case {
    const char* name;
    cdrip::DiscToc toc;
    const char* ar;
    const char* cddb;
    const char* musicBrainz;  // nullptr: not checked
    const char* mbToc;        // nullptr: not checked
  } cases[] = {
      {"16 audio tracks, track 1 at LSN 35",
       Toc({35, 12282, 26497, 43755, 57205, 80650, 94935, 108775, 119970, 134315, 150340, 165437,
            184252, 200492, 215830, 230282},
           258750),
       "016-001fcbda-01800a88-e40d7a10", "e40d7a10", nullptr, nullptr},
      {"Enhanced CD: data track 11 in session 2",
       Toc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585}, 333651,
           {11}),
       "010-00164419-00b9f6e2-9e11600b", "9e11600b", nullptr,
       "1 10 270335 150 12767 40487 63225 93410 118115 151865 184340 215260 247455"},
      {"mixed mode: data track 1",
       Toc({0,      66578,  76352,  85813,  93610,  103898, 115916, 124593, 134056, 142766,
            151702, 160570, 169275, 178581, 188309, 196561, 206204, 214695, 223536, 225596,
            226234, 232518, 239297, 239781, 244839, 254114, 259916, 261072, 261524},
           261826, {1}),
       "028-00517a54-05a845d2-af0da31d", "af0da31d", nullptr, nullptr},
      {"6 tracks of the MusicBrainz example",
       FromFrames({150, 15363, 32314, 46592, 63414, 80489}, 95462), nullptr, "3404f606",
       "49HHV7Eb8UKF3aQiNmu1GR8vKTY-", "1 6 95462 150 15363 32314 46592 63414 80489"},
      {"4 audio tracks", FromFrames({150, 15150, 30150, 45150}, 60000), nullptr, "14031e04",
       "F8.QsNTNLsNcX16G2JJTyougTp8-", nullptr},
      {"4 audio tracks and data track 5", Toc({0, 15000, 30000, 45000, 71400}, 80000, {5}), nullptr,
       "26042a05", "xjZFC4yzXwgKKiOMdJcx4PIJqoA-", "1 4 60150 150 15150 30150 45150"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscIds ids = ComputeDiscIds(c.toc);
    if (c.ar) {
      EXPECT_EQ(ids.ArText(), c.ar);
    }
    EXPECT_EQ(ids.CddbText(), c.cddb);
    if (c.musicBrainz) {
      EXPECT_EQ(ids.MusicBrainz, c.musicBrainz);
    }
    if (c.mbToc) {
      EXPECT_EQ(ids.MusicBrainzToc, c.mbToc);
    }
  }
}

TEST(DiscIds, DatabasePathIsMadeFromTheLastDigitsOfId1) {
  TDiscIds ids = ComputeDiscIds(Toc({35, 12282, 26497, 43755, 57205, 80650, 94935, 108775, 119970,
                                     134315, 150340, 165437, 184252, 200492, 215830, 230282},
                                    258750));
  EXPECT_EQ(ids.ArPath(), "a/d/b/dBAR-016-001fcbda-01800a88-e40d7a10.bin");
}

TEST(DiscIds, DiscsLibdiscidRefusesHaveNoMusicBrainzId) {
  struct Case {
    const char* name;
    cdrip::DiscToc toc;
  } cases[] = {
      {"only a data track", Toc({0}, 1000, {1})},
      {"empty", cdrip::DiscToc{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscIds ids = ComputeDiscIds(c.toc);
    EXPECT_EQ(ids.MusicBrainz, "");
    EXPECT_EQ(ids.MusicBrainzToc, "");
  }
}

}  // namespace
}  // namespace cdx
