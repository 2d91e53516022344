// Read offset correction: images shifted as a drive's offset shifts its
// reads give the disc's audio back, with silence where the disc ends.
#include "tests/cdrip/CdripFixture.h"

namespace cdx::test {
namespace {

using namespace cdrip;

// Puts the library's offset back, whatever a test leaves.
struct OffsetScope {
  explicit OffsetScope(int samples) { EXPECT_EQ(CR_SetReadOffset(samples), CR_OK); }
  ~OffsetScope() { CR_SetReadOffset(0); }
};

// The disc's audio as one run of 32-bit samples, data tracks as zeros
// (a shift must never bring their bytes in).
std::vector<uint32_t> DiscSamples(const std::vector<dm::TrackSpec>& tracks) {
  auto starts = dm::StartSectors(tracks);
  std::vector<uint32_t> samples;
  for (size_t i = 0; i < tracks.size(); ++i) {
    auto bytes = dm::TrackBytes(tracks[i], starts[i]);
    for (size_t b = 0; b < bytes.size(); b += 4) {
      uint32_t s = bytes[b] | bytes[b + 1] << 8 | bytes[b + 2] << 16 | bytes[b + 3] << 24;
      samples.push_back(tracks[i].kind == dm::TrackKind::Audio ? s : 0);
    }
  }
  return samples;
}

// What a rip of sectors [start, end) corrected by `offset` holds when the
// disc itself holds `disc` (whose sample k a shifted image put at k +
// `imageShift`), and how many of its samples are silence for want of disc.
std::vector<uint8_t> Expected(const std::vector<uint32_t>& disc, const std::vector<bool>& audio,
                              uint32_t start, uint32_t end, int offset, int imageShift,
                              uint64_t& silence) {
  std::vector<uint8_t> bytes;
  silence = 0;
  for (int64_t g = int64_t{start} * 588; g < int64_t{end} * 588; ++g) {
    int64_t raw = g + offset;  // the sample read, as the image stores it
    int64_t source = raw - imageShift;
    bool onDisc = raw >= 0 && raw < static_cast<int64_t>(disc.size()) && audio[raw / 588];
    uint32_t s = 0;
    if (!onDisc)
      ++silence;
    else if (source >= 0 && source < static_cast<int64_t>(disc.size()))
      s = disc[source];
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(s >> (8 * b)));
  }
  return bytes;
}

std::vector<bool> AudioSectors(const std::vector<dm::TrackSpec>& tracks) {
  std::vector<bool> audio;
  for (const auto& t : tracks) audio.insert(audio.end(), t.sectors, t.kind == dm::TrackKind::Audio);
  return audio;
}

const std::vector<dm::TrackSpec> kThree = {dm::Noise(40, 1), dm::Noise(37, 2), dm::Noise(45, 3)};

TEST_F(CdripTest, ShiftedImageRipsBackToTheDiscWithSilenceAtItsEdges) {
  // The notes' splits: +667 = +1 sector + 79, -54 = -1 + 534, -589 = -2 +
  // 587, -1164 = -2 + 12; whole sectors; the commonest drive offset.
  for (int offset : {6, 667, -54, -589, -1164, 588, -588}) {
    SCOPED_TRACE("offset " + std::to_string(offset));
    CR_DeInit();
    dm::WriteShiftedImage(discs_ + "/shifted.cue", kThree, offset);
    Init();
    OffsetScope scope(offset);
    auto disc = DiscSamples(kThree);
    auto audio = AudioSectors(kThree);
    auto starts = dm::StartSectors(kThree);
    for (size_t t = 0; t < kThree.size(); ++t) {
      for (int buffer : {176400, 10000}) {
        SCOPED_TRACE("track " + std::to_string(t + 1) + ", buffer " + std::to_string(buffer));
        auto rip = Rip(starts[t], starts[t + 1], buffer);
        uint64_t silence = 0;
        auto expected = Expected(disc, audio, starts[t], starts[t + 1], offset, offset, silence);
        EXPECT_EQ(rip.result, CR_OK);
        EXPECT_EQ(rip.bytes.size(), expected.size());
        EXPECT_TRUE(rip.bytes == expected);
        EXPECT_EQ(CR_GetOffsetSilence(), silence);
        // Only the first track of a negative and the last of a positive
        // offset reach past the disc.
        bool edge = (offset < 0 && t == 0) || (offset > 0 && t + 1 == kThree.size());
        EXPECT_EQ(silence, edge ? static_cast<uint64_t>(std::abs(offset)) : 0u);
      }
    }
  }
}

TEST_F(CdripTest, ShiftNeverReadsADataTrackAsAudio) {
  struct Case {
    const char* name;
    std::vector<dm::TrackSpec> tracks;
    size_t track;  // 0-based, audio
    int offset;
  } cases[] = {
      {"audio then data, +700", {dm::Noise(30, 4), dm::Data(20)}, 0, 700},
      {"data then audio, -700", {dm::Data(20), dm::Noise(30, 5), dm::Noise(10, 6)}, 1, -700},
      {"data then audio, +700 inside the audio",
       {dm::Data(20), dm::Noise(30, 5), dm::Noise(10, 6)},
       1,
       700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CR_DeInit();
    MakeDisc("mixed", c.tracks);
    Init();
    OffsetScope scope(c.offset);
    auto starts = dm::StartSectors(c.tracks);
    auto rip = Rip(starts[c.track], starts[c.track + 1]);
    uint64_t silence = 0;
    auto expected = Expected(DiscSamples(c.tracks), AudioSectors(c.tracks), starts[c.track],
                             starts[c.track + 1], c.offset, 0, silence);
    EXPECT_EQ(rip.result, CR_OK);
    EXPECT_TRUE(rip.bytes == expected);
    EXPECT_EQ(CR_GetOffsetSilence(), silence);
  }
}

TEST_F(CdripTest, ReadOffsetOutsideTheLimitsIsRefusedAndTheOldOneKept) {
  OffsetScope scope(30);
  EXPECT_EQ(CR_SetReadOffset(CR_MAX_READ_OFFSET + 1), CR_ERROR);
  EXPECT_EQ(CR_SetReadOffset(-CR_MAX_READ_OFFSET - 1), CR_ERROR);
  EXPECT_EQ(CR_GetReadOffset(), 30);
  EXPECT_EQ(CR_SetReadOffset(-CR_MAX_READ_OFFSET), CR_OK);
  EXPECT_EQ(CR_GetReadOffset(), -CR_MAX_READ_OFFSET);
}

}  // namespace
}  // namespace cdx::test
