// Read offset correction: images shifted as a drive's offset shifts its
// reads give the disc's audio back, with silence where the disc has none.
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;

// The disc's samples, data tracks as zeros (a shift never brings their
// bytes in), and which sectors hold audio.
std::vector<uint32_t> DiscSamples(const std::vector<dm::TrackSpec>& tracks,
                                  std::vector<bool>& audio) {
  auto starts = dm::StartSectors(tracks);
  std::vector<uint32_t> samples;
  for (size_t i = 0; i < tracks.size(); ++i) {
    bool isAudio = tracks[i].kind == dm::TrackKind::Audio;
    audio.insert(audio.end(), tracks[i].sectors, isAudio);
    auto bytes = dm::TrackBytes(tracks[i], starts[i]);
    for (size_t b = 0; b < bytes.size(); b += 4)
      samples.push_back(
          isAudio ? bytes[b] | bytes[b + 1] << 8 | bytes[b + 2] << 16 | bytes[b + 3] << 24 : 0);
  }
  return samples;
}

// What sectors [start, end) corrected by `offset` must give when the image
// holds the disc's sample k at k + `shift`; `silence` counts the samples
// off the disc's audio.
std::vector<uint8_t> Expected(const std::vector<uint32_t>& disc, const std::vector<bool>& audio,
                              uint32_t start, uint32_t end, int offset, int shift,
                              uint64_t& silence) {
  std::vector<uint8_t> bytes;
  silence = 0;
  for (int64_t g = int64_t{start} * 588; g < int64_t{end} * 588; ++g) {
    int64_t raw = g + offset, source = raw - shift;
    bool onDisc = raw >= 0 && raw < static_cast<int64_t>(disc.size()) && audio[raw / 588];
    silence += !onDisc;
    uint32_t s =
        onDisc && source >= 0 && source < static_cast<int64_t>(disc.size()) ? disc[source] : 0;
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(s >> (8 * b)));
  }
  return bytes;
}

TEST_F(CdripTest, ReadOffsetGivesTheDiscBackWithSilenceWhereItHasNoAudio) {
  const std::vector<dm::TrackSpec> three = {dm::Noise(40, 1), dm::Noise(37, 2), dm::Noise(45, 3)};
  const std::vector<dm::TrackSpec> dataFirst = {dm::Data(20), dm::Noise(30, 5), dm::Noise(10, 6)};
  struct Case {
    std::vector<dm::TrackSpec> tracks;
    bool shiftedImage;  // written as a drive of that offset reads it
    int offset;
  } cases[] = {
      // The notes' splits: +667 = +1 sector + 79, -54 = -1 + 534, -589 =
      // -2 + 587, -1164 = -2 + 12; whole sectors; the commonest offset.
      {three, true, 6},
      {three, true, 667},
      {three, true, -54},
      {three, true, -589},
      {three, true, -1164},
      {three, true, 588},
      {three, true, -588},
      // A data track beside the audio is never read as audio.
      {{dm::Noise(30, 4), dm::Data(20)}, false, 700},
      {dataFirst, false, -700},
      {dataFirst, false, 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("offset " + std::to_string(c.offset) + (c.shiftedImage ? ", shifted image" : ""));
    CR_DeInit();
    if (c.shiftedImage)
      dm::WriteShiftedImage(discs_ + "/disc.cue", c.tracks, c.offset);
    else
      MakeDisc("disc", c.tracks);
    Init();
    ASSERT_EQ(CR_SetReadOffset(c.offset), CR_OK);
    std::vector<bool> audio;
    auto disc = DiscSamples(c.tracks, audio);
    auto starts = dm::StartSectors(c.tracks);
    for (size_t t = 0; t < c.tracks.size(); ++t) {
      if (c.tracks[t].kind != dm::TrackKind::Audio) continue;
      for (int buffer : {176400, 10000}) {
        SCOPED_TRACE("track " + std::to_string(t + 1) + ", buffer " + std::to_string(buffer));
        auto rip = Rip(starts[t], starts[t + 1], buffer);
        uint64_t silence = 0;
        auto expected = Expected(disc, audio, starts[t], starts[t + 1], c.offset,
                                 c.shiftedImage ? c.offset : 0, silence);
        EXPECT_EQ(rip.result, CR_OK);
        EXPECT_TRUE(rip.bytes == expected);
        EXPECT_EQ(CR_GetOffsetSilence(), silence);
        // On the shifted image only the disc's ends lack audio.
        bool edge = (c.offset < 0 && t == 0) || (c.offset > 0 && t + 1 == c.tracks.size());
        EXPECT_TRUE(!c.shiftedImage || silence == (edge ? uint64_t(std::abs(c.offset)) : 0u));
      }
    }
  }
  // Beyond the limits the offset is refused and the last one kept.
  EXPECT_EQ(CR_SetReadOffset(CR_MAX_READ_OFFSET + 1), CR_ERROR);
  EXPECT_EQ(CR_SetReadOffset(-CR_MAX_READ_OFFSET - 1), CR_ERROR);
  EXPECT_EQ(CR_GetReadOffset(), 700);
}

}  // namespace
}  // namespace cdx::test
