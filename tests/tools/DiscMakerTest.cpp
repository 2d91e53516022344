// The test-disc maker, checked through libcdio: the images it writes must
// open, show the layout it claims, and hold the bytes it says they hold.
#include <cdio/cdio.h>

#include <cdio/logging.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>

#include "tests/support/TestSources.h"
#include "tools/discmaker.h"

namespace dm = cdx::discmaker;
using cdx::test::ReadFile;
using cdx::test::TTempDir;

namespace {

struct CdioCloser {
  void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using Cdio = std::unique_ptr<CdIo_t, CdioCloser>;

Cdio OpenImage(const std::string& cue) {
  cdio_loglevel_default = CDIO_LOG_ERROR;
  return Cdio(cdio_open(cue.c_str(), DRIVER_BINCUE));
}

std::vector<int16_t> Channel(const std::vector<uint8_t>& pcm, int channel) {
  auto samples = cdx::test::Samples(pcm);
  std::vector<int16_t> out;
  for (size_t i = channel; i < samples.size(); i += 2) out.push_back(samples[i]);
  return out;
}

// Upward zero crossings per second: the frequency of a clean tone.
double MeasuredFrequency(const std::vector<int16_t>& samples) {
  int crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i)
    if (samples[i - 1] < 0 && samples[i] >= 0) ++crossings;
  return crossings * 44100.0 / static_cast<double>(samples.size());
}

int Peak(const std::vector<int16_t>& samples) {
  int peak = 0;
  for (int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  return peak;
}

}  // namespace

TEST(DiscMaker, ImageOpensWithTheLayoutItClaims) {
  TTempDir dir;
  // Short and odd lengths, a data track in the middle and one at the end.
  std::vector<dm::TrackSpec> tracks = {dm::Silence(1),      dm::Noise(37, 5),   dm::Data(200),
                                       dm::Sine(151, 1000), dm::Square(74, 50), dm::Data(30)};
  dm::WriteImage(dir.File("t.cue"), tracks);
  auto starts = dm::StartSectors(tracks);
  ASSERT_EQ(starts, (std::vector<uint32_t>{0, 1, 38, 238, 389, 463, 493}));

  auto cdio = OpenImage(dir.File("t.cue"));
  ASSERT_TRUE(cdio);
  ASSERT_EQ(cdio_get_first_track_num(cdio.get()), 1);
  ASSERT_EQ(cdio_get_num_tracks(cdio.get()), tracks.size());
  for (size_t i = 0; i < tracks.size(); ++i) {
    track_t t = static_cast<track_t>(i + 1);
    EXPECT_EQ(cdio_get_track_lsn(cdio.get(), t), static_cast<lsn_t>(starts[i])) << "track " << t;
    bool audio = tracks[i].kind == dm::TrackKind::Audio;
    EXPECT_EQ(cdio_get_track_format(cdio.get(), t) == TRACK_FORMAT_AUDIO, audio) << "track " << t;
  }
  EXPECT_EQ(cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK), 493);
  EXPECT_EQ(ReadFile(dir.File("t.bin")).size(), 493u * dm::kSectorBytes);
}

TEST(DiscMaker, BinHoldsEveryTrackBytesInOrder) {
  TTempDir dir;
  std::vector<dm::TrackSpec> tracks = {dm::Noise(10, 1), dm::Data(5, 9), dm::Sine(20, 440, 0.3)};
  dm::WriteImage(dir.File("x.cue"), tracks);
  auto bin = ReadFile(dir.File("x.bin"));
  auto starts = dm::StartSectors(tracks);
  for (size_t i = 0; i < tracks.size(); ++i) {
    auto expected = dm::TrackBytes(tracks[i], starts[i]);
    ASSERT_EQ(expected.size(), (starts[i + 1] - starts[i]) * size_t{dm::kSectorBytes});
    EXPECT_TRUE(
        std::equal(expected.begin(), expected.end(), bin.begin() + starts[i] * dm::kSectorBytes))
        << "track " << i + 1;
  }
}

TEST(DiscMaker, AudioRawReadsThroughLibcdioMatchTrackBytes) {
  TTempDir dir;
  std::vector<dm::TrackSpec> tracks = {dm::Square(3, 1000), dm::Noise(4, 77)};
  dm::WriteImage(dir.File("r.cue"), tracks);
  auto cdio = OpenImage(dir.File("r.cue"));
  ASSERT_TRUE(cdio);
  std::vector<uint8_t> read(4 * dm::kSectorBytes);
  ASSERT_EQ(cdio_read_audio_sectors(cdio.get(), read.data(), 3, 4), DRIVER_OP_SUCCESS);
  EXPECT_EQ(read, dm::TrackBytes(tracks[1], 3));
}

TEST(DiscMaker, DataSectorsAreMode1WithTheirAddress) {
  TTempDir dir;
  std::vector<dm::TrackSpec> tracks = {dm::Sine(75, 440), dm::Data(10, 3)};
  dm::WriteImage(dir.File("d.cue"), tracks);
  auto raw = dm::TrackBytes(tracks[1], 75);
  const uint8_t sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
  // Sector 77 of the disc: address 77 + 150 = 227 frames = 00:03:02.
  const uint8_t* sector = raw.data() + 2 * dm::kSectorBytes;
  EXPECT_EQ(0, std::memcmp(sector, sync, 12));
  EXPECT_EQ(sector[12], 0x00);
  EXPECT_EQ(sector[13], 0x03);
  EXPECT_EQ(sector[14], 0x02);
  EXPECT_EQ(sector[15], 1);

  // libcdio's Mode 1 read hands back the 2048 user bytes of that sector.
  auto cdio = OpenImage(dir.File("d.cue"));
  ASSERT_TRUE(cdio);
  std::vector<uint8_t> user(2048);
  ASSERT_EQ(cdio_read_mode1_sector(cdio.get(), user.data(), 77, false), DRIVER_OP_SUCCESS);
  EXPECT_EQ(0, std::memcmp(user.data(), sector + 16, 2048));
  std::set<uint8_t> distinct(user.begin(), user.end());
  EXPECT_GT(distinct.size(), 200u);
}

TEST(DiscMaker, SignalsHaveTheirShape) {
  auto sine = dm::TrackBytes(dm::Sine(75, 441.0, 0.5, 882.0), 0);
  auto left = Channel(sine, 0), right = Channel(sine, 1);
  EXPECT_NEAR(MeasuredFrequency(left), 441.0, 2.0);
  EXPECT_NEAR(MeasuredFrequency(right), 882.0, 2.0);
  EXPECT_NEAR(Peak(left), 16384, 2);

  auto square = cdx::test::Samples(dm::TrackBytes(dm::Square(2, 1000), 0));
  std::set<int16_t> levels(square.begin(), square.end());
  EXPECT_EQ(levels, (std::set<int16_t>{-32768, 32767}));

  auto silence = dm::TrackBytes(dm::Silence(3), 0);
  EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](uint8_t b) { return b == 0; }));

  auto noise = dm::TrackBytes(dm::Noise(20, 11), 0);
  EXPECT_EQ(noise, dm::TrackBytes(dm::Noise(20, 11), 0)) << "same seed, same noise";
  EXPECT_NE(noise, dm::TrackBytes(dm::Noise(20, 12), 0));
  EXPECT_NE(Channel(noise, 0), Channel(noise, 1));
  EXPECT_GT(Peak(Channel(noise, 0)), 32000);
  EXPECT_LE(Peak(Channel(dm::TrackBytes(dm::Noise(20, 11, 0.25), 0), 0)), 8192);
}

TEST(DiscMaker, FadeStartsAndEndsAtSilence) {
  auto t = dm::Sine(150, 440, 1.0);
  t.fadeSectors = 75;
  auto left = Channel(dm::TrackBytes(t, 0), 0);
  std::vector<int16_t> head(left.begin(), left.begin() + 441);
  std::vector<int16_t> tail(left.end() - 441, left.end());
  EXPECT_LT(Peak(head), 400);
  EXPECT_LT(Peak(tail), 400);
  EXPECT_GT(Peak(left), 32000);
}

TEST(DiscMaker, RawTrackIsTheFilePaddedToWholeSectors) {
  TTempDir dir;
  auto pcm = cdx::test::CountingBytes(dm::kSectorBytes + 100);
  cdx::test::WriteFile(dir.File("in.pcm"), pcm);
  auto track = dm::Raw(dir.File("in.pcm"));
  EXPECT_EQ(dm::TrackSectors(track), 2u);
  auto bytes = dm::TrackBytes(track, 0);
  ASSERT_EQ(bytes.size(), 2u * dm::kSectorBytes);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), bytes.begin()));
  EXPECT_TRUE(std::all_of(bytes.begin() + pcm.size(), bytes.end(), [](uint8_t b) { return !b; }));
  EXPECT_THROW(dm::TrackSectors(dm::Raw(dir.File("missing.pcm"))), std::runtime_error);
}

TEST(DiscMaker, ParsesTrackDescriptions) {
  auto t = dm::ParseTrack("sine:len=2s,freq=523.25,right=784,amp=0.3,fade=0.5s");
  EXPECT_EQ(t.signal, dm::Signal::Sine);
  EXPECT_EQ(t.sectors, 150u);
  EXPECT_DOUBLE_EQ(t.frequency, 523.25);
  EXPECT_DOUBLE_EQ(t.rightFrequency, 784);
  EXPECT_DOUBLE_EQ(t.amplitude, 0.3);
  EXPECT_EQ(t.fadeSectors, 38u);  // 37.5 rounds up

  EXPECT_EQ(dm::ParseTrack("noise:len=40,seed=7").seed, 7u);
  EXPECT_EQ(dm::ParseTrack("silence:len=1").sectors, 1u);
  EXPECT_EQ(dm::ParseTrack("data:len=300").kind, dm::TrackKind::Data);
  EXPECT_EQ(dm::ParseTrack("square").sectors, 75u);
  EXPECT_EQ(dm::ParseTrack("raw:file=a.pcm").path, "a.pcm");

  for (const char* bad : {"tone:len=3", "sine:len=0", "sine:len=1.5", "sine:len=x", "sine:freq",
                          "sine:pitch=3", "raw", "sine:amp=-1"})
    EXPECT_THROW(dm::ParseTrack(bad), std::invalid_argument) << bad;
}

TEST(DiscMaker, ToolWritesTheImageAndRejectsBadArguments) {
  TTempDir dir;
  std::string out;
  std::string command = std::string(CDX_MAKE_DISC) + " --print " + dir.File("c.cue") +
                        " sine:len=10 data:len=20 noise:len=5,seed=2";
  ASSERT_EQ(cdx::test::RunCommand(command, &out), 0) << out;
  EXPECT_NE(out.find("track 02 data  start 10 sectors 20"), std::string::npos) << out;
  EXPECT_NE(out.find("lead-out 35"), std::string::npos) << out;
  std::vector<dm::TrackSpec> same = {dm::Sine(10, 440), dm::Data(20), dm::Noise(5, 2, 1.0)};
  auto expected = dm::TrackBytes(same[2], 30);
  auto bin = ReadFile(dir.File("c.bin"));
  ASSERT_EQ(bin.size(), 35u * dm::kSectorBytes);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bin.begin() + 30 * dm::kSectorBytes));

  EXPECT_EQ(cdx::test::RunCommand(std::string(CDX_MAKE_DISC) + " " + dir.File("e.cue")), 2);
  EXPECT_EQ(
      cdx::test::RunCommand(std::string(CDX_MAKE_DISC) + " " + dir.File("e.cue") + " wobble:len=3"),
      2);
  EXPECT_EQ(cdx::test::RunCommand(std::string(CDX_MAKE_DISC) + " /nonexistent/dir/e.cue sine"), 1);
}

TEST(DiscMaker, DemoDiscIsBuiltBesideThePrograms) {
  auto cdio = OpenImage(CDX_DEMO_CUE);
  ASSERT_TRUE(cdio) << CDX_DEMO_CUE;
  int tracks = cdio_get_num_tracks(cdio.get());
  EXPECT_EQ(tracks, 4);
  lsn_t previous = 0;
  for (track_t t = 1; t <= tracks; ++t) {
    EXPECT_EQ(cdio_get_track_format(cdio.get(), t), TRACK_FORMAT_AUDIO);
    lsn_t next = t < tracks ? cdio_get_track_lsn(cdio.get(), t + 1)
                            : cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
    lsn_t length = next - cdio_get_track_lsn(cdio.get(), t);
    EXPECT_GE(length, 10 * 75) << "track " << t;
    EXPECT_LE(length, 40 * 75) << "track " << t;
    previous = next;
  }
  EXPECT_LT(previous, 120 * 75);
}
