// The loudness the meter finds as blocks pass, against ffmpeg's own EBU
// R128 measurement (its ebur128 filter) of the same PCM, and the sample
// peak against the largest sample. Both measure through histograms, ours
// with 0.1 LU bins: the gains agree within 0.1 dB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <thread>

#include "cd/ReplayGain.h"
#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

constexpr double kTolerance = 0.1;

// The integrated loudness ffmpeg finds: its last reading, to 0.001 LU.
double FfmpegLoudness(const std::vector<uint8_t>& pcm) {
  TTempDir dir;
  const std::string raw = dir.File("pcm.raw");
  WriteFile(raw, pcm);
  std::string out;
  RunCommand("ffmpeg -nostats -hide_banner -f s16le -ar 44100 -ac 2 -i " + raw +
                 " -af ebur128=metadata=1,ametadata=mode=print:key=lavfi.r128.I -f null -",
             &out);
  const size_t at = out.rfind("lavfi.r128.I=");
  EXPECT_NE(at, std::string::npos) << out;
  return at == std::string::npos ? NAN : std::atof(out.c_str() + at + 13);
}

double LargestSample(const std::vector<uint8_t>& pcm) {
  int largest = 0;
  for (int16_t s : Samples(pcm)) largest = std::max(largest, std::abs(int{s}));
  return largest / 32768.0;
}

// Hands `pcm` to the meter in blocks of `chunk` bytes, as a source would;
// `alongside`, another thread does the meter's waiting work meanwhile, as
// the source's reader does with its read-ahead full.
std::optional<TReplayGainValues> Measure(TReplayGainMeter& meter, const std::vector<uint8_t>& pcm,
                                         size_t chunk, bool alongside = false) {
  meter.BeginTrack();
  std::jthread waiter;
  if (alongside)
    waiter = std::jthread([&](std::stop_token fed) {
      while (!fed.stop_requested()) meter.DoWaitingWork();
    });
  for (size_t at = 0; at < pcm.size(); at += chunk)
    meter.Samples(pcm.data() + at, std::min(chunk, pcm.size() - at));
  waiter = {};  // stops it and waits for it
  const std::optional<size_t> track = meter.EndTrack();
  EXPECT_TRUE(track);
  return track ? meter.TrackValues(*track) : std::nullopt;
}

std::vector<uint8_t> Joined(std::vector<int16_t> a, const std::vector<int16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return PcmBytes(a);
}

struct TTrackCase {
  const char* Name;
  std::vector<uint8_t> Pcm;
  size_t Chunk;
  double WorkedGain = NAN;  // the notes' worked value, where there is one
  bool MeasuredAlongside = false;
};

void PrintTo(const TTrackCase& c, std::ostream* out) {
  *out << c.Name;
}

class TrackGain : public ::testing::TestWithParam<TTrackCase> {};

TEST_P(TrackGain, AgreesWithFfmpeg) {
  const TTrackCase& c = GetParam();
  TReplayGainMeter meter;
  const auto gain = Measure(meter, c.Pcm, c.Chunk, c.MeasuredAlongside);
  ASSERT_TRUE(gain);
  EXPECT_NEAR(gain->GainDb, -18.0 - FfmpegLoudness(c.Pcm), kTolerance);
  EXPECT_DOUBLE_EQ(gain->Peak, LargestSample(c.Pcm));
  EXPECT_TRUE(std::isnan(c.WorkedGain) || std::fabs(gain->GainDb - c.WorkedGain) < 0.05)
      << gain->GainDb;
}

// The first is the worked value: 2 s of a 440 Hz sine at half scale is
// -6.70 LUFS, a gain of -11.30 dB. Blocks of odd sizes cut frames in two;
// the long tracks go round the meter's ring, one measured by a thread
// of its own as it comes; the last one is half silence, which the gate
// leaves out.
INSTANTIATE_TEST_SUITE_P(
    ReplayGain, TrackGain,
    ::testing::Values(
        TTrackCase{"loud_sine", PcmBytes(SineWave(88200, 2, 440, 44100, 16384)), 65536, -11.30},
        TTrackCase{"noise_in_odd_blocks", PcmBytes(Noise(132300, 2, 3, 9800)), 4097},
        TTrackCase{"quiet_tone_byte_by_byte", PcmBytes(SineWave(22050, 2, 1000, 44100, 600)), 1},
        TTrackCase{"twenty_seconds_round_the_ring", PcmBytes(Noise(882000, 2, 9, 20000)), 176400},
        TTrackCase{"measured_by_another_thread_as_it_comes", PcmBytes(Noise(882000, 2, 5, 9000)),
                   176400, NAN, true},
        TTrackCase{"tone_then_silence",
                   Joined(SineWave(88200, 2, 200, 44100, 8000), std::vector<int16_t>(176400)), 3}),
    [](const auto& info) { return std::string(info.param.Name); });

// The album gates the blocks of all its tracks together: a quiet track
// beside a loud one barely moves it (the mean of the two gains would be
// dB away), it matches ffmpeg's reading of the tracks played one after
// the other (long ones, since there the blocks across the join count
// too), and a dropped track no longer counts.
TEST(ReplayGain, AlbumGatesItsTracksTogether) {
  const auto loud = SineWave(1764000, 2, 440, 44100, 16384);
  const auto quiet = Noise(441000, 2, 5, 1000);
  TReplayGainMeter meter;
  const auto loudGain = Measure(meter, PcmBytes(loud), 8192);
  const auto quietGain = Measure(meter, PcmBytes(quiet), 8192);
  ASSERT_TRUE(loudGain && quietGain);
  const auto album = meter.Album();
  ASSERT_TRUE(album);
  EXPECT_NEAR(album->GainDb, -18.0 - FfmpegLoudness(Joined(loud, quiet)), kTolerance);
  EXPECT_GT(std::fabs(album->GainDb - (loudGain->GainDb + quietGain->GainDb) / 2), 3.0);
  EXPECT_DOUBLE_EQ(album->Peak, std::max(loudGain->Peak, quietGain->Peak));

  meter.DropLastTrack();
  EXPECT_NEAR(meter.Album()->GainDb, loudGain->GainDb, 1e-9);
}

// A job asks for the values once every track is fed: each track keeps its
// own, whatever came after it; samples between tracks count for none; a
// new album forgets the tracks of the one before.
TEST(ReplayGain, TracksKeepTheirOwnValuesUntilANewAlbum) {
  const auto loud = PcmBytes(SineWave(441000, 2, 440, 44100, 16384));
  const auto quiet = PcmBytes(Noise(220500, 2, 5, 1000));
  TReplayGainMeter meter;
  const auto feed = [&](const std::vector<uint8_t>& pcm) {
    meter.BeginTrack();
    meter.Samples(pcm.data(), pcm.size());
    return meter.EndTrack().value();
  };
  const size_t first = feed(loud);
  meter.Samples(loud.data(), loud.size());
  const size_t second = feed(quiet);
  for (const auto& [track, pcm] : {std::pair{first, &loud}, std::pair{second, &quiet}}) {
    const auto values = meter.TrackValues(track);
    ASSERT_TRUE(values);
    EXPECT_NEAR(values->GainDb, -18.0 - FfmpegLoudness(*pcm), kTolerance);
    EXPECT_DOUBLE_EQ(values->Peak, LargestSample(*pcm));
  }
  meter.StartAlbum();
  const size_t again = feed(quiet);
  EXPECT_NEAR(meter.Album()->GainDb, meter.TrackValues(again)->GainDb, 1e-9);
}

// Silence has no loudness, so no gain; a track begun and never ended (a
// failed run) is not part of the album.
TEST(ReplayGain, SilenceAndUnfinishedTracksGiveNoGain) {
  TReplayGainMeter meter;
  EXPECT_FALSE(Measure(meter, std::vector<uint8_t>(88200 * 4), 4096));
  EXPECT_FALSE(meter.Album());
  meter.BeginTrack();
  const auto noise = PcmBytes(Noise(44100, 2, 1, 20000));
  meter.Samples(noise.data(), noise.size());
  meter.BeginTrack();
  EXPECT_FALSE(meter.TrackValues(*meter.EndTrack()));
  EXPECT_FALSE(meter.Album());
}

}  // namespace
}  // namespace cdx::test
