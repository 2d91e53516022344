// The disc IDs of the notes' worked discs: plain, Enhanced (data last) and
// mixed mode (data first), and TOCs libdiscid refuses.
#include <gtest/gtest.h>

#include "cd/DiscIds.h"

namespace cdx {
namespace {

// Track starts in LSN (`frames`: absolute frames, LSN + 150, as the
// MusicBrainz examples give them); `data` lists the tracks that are data.
cdrip::DiscToc Toc(std::vector<uint32_t> starts, uint32_t leadOut, std::vector<int> data = {},
                   bool frames = false) {
  cdrip::DiscToc toc;
  for (size_t i = 0; i < starts.size(); ++i) {
    int number = static_cast<int>(i + 1);
    bool audio = std::find(data.begin(), data.end(), number) == data.end();
    toc.tracks.push_back({number, audio, starts[i] - (frames ? 150 : 0), 0, false, false, ""});
  }
  toc.leadOut = leadOut - (frames ? 150 : 0);
  return toc;
}

TEST(DiscIds, WorkedDiscsGiveTheirIds) {
  struct Case {
    const char* name;
    cdrip::DiscToc toc;
    std::string arPath, cddb, musicBrainz, mbToc;  // "" where the notes give none
  } cases[] = {
      {"16 audio tracks, track 1 at LSN 35",
       Toc({35, 12282, 26497, 43755, 57205, 80650, 94935, 108775, 119970, 134315, 150340, 165437,
            184252, 200492, 215830, 230282},
           258750),
       "a/d/b/dBAR-016-001fcbda-01800a88-e40d7a10.bin", "e40d7a10", "", ""},
      {"Enhanced CD: data track 11 in session 2",
       Toc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585}, 333651,
           {11}),
       "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin", "9e11600b", "",
       "1 10 270335 150 12767 40487 63225 93410 118115 151865 184340 215260 247455"},
      {"mixed mode: data track 1",
       Toc({0,      66578,  76352,  85813,  93610,  103898, 115916, 124593, 134056, 142766,
            151702, 160570, 169275, 178581, 188309, 196561, 206204, 214695, 223536, 225596,
            226234, 232518, 239297, 239781, 244839, 254114, 259916, 261072, 261524},
           261826, {1}),
       "4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin", "af0da31d", "", ""},
      {"6 tracks of the MusicBrainz example",
       Toc({150, 15363, 32314, 46592, 63414, 80489}, 95462, {}, true), "", "3404f606",
       "49HHV7Eb8UKF3aQiNmu1GR8vKTY-", "1 6 95462 150 15363 32314 46592 63414 80489"},
      {"4 audio tracks", Toc({150, 15150, 30150, 45150}, 60000, {}, true), "", "14031e04",
       "F8.QsNTNLsNcX16G2JJTyougTp8-", ""},
      {"4 audio tracks and data track 5", Toc({0, 15000, 30000, 45000, 71400}, 80000, {5}), "",
       "26042a05", "xjZFC4yzXwgKKiOMdJcx4PIJqoA-", "1 4 60150 150 15150 30150 45150"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscIds ids = ComputeDiscIds(c.toc);
    EXPECT_TRUE(c.arPath.empty() || ids.ArPath() == c.arPath) << ids.ArPath();
    EXPECT_EQ(ids.CddbText(), c.cddb);
    EXPECT_TRUE(c.musicBrainz.empty() || ids.MusicBrainz == c.musicBrainz) << ids.MusicBrainz;
    EXPECT_TRUE(c.mbToc.empty() || ids.MusicBrainzToc == c.mbToc) << ids.MusicBrainzToc;
  }
  // No audio, or no track at all: nothing MusicBrainz would take.
  for (const cdrip::DiscToc& toc : {Toc({0}, 1000, {1}), cdrip::DiscToc{}})
    EXPECT_EQ(ComputeDiscIds(toc).MusicBrainz + ComputeDiscIds(toc).MusicBrainzToc, "");
}

}  // namespace
}  // namespace cdx
