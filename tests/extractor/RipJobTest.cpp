// The job below both front ends, on a real image drive: how often it reads
// a disc's TOC, counted by the CD library itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "extractor/EjectStage.h"
#include "platform/cdrip/cdrip.h"
#include "tests/support/JobTracks.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

TEST(RipJob, ReadsADiscsTocOnceAndAgainOnlyWhenTheDiscChanged) {
  TTempDir temp;
  const std::vector<dm::TrackSpec> disc = {dm::Sine(20, 440), dm::Noise(20, 2), dm::Sine(20, 660)};
  const std::string cue = UseImageDrive(temp, disc);
  auto extractor = MakeComponent<TExtractor>();
  const struct {
    const char* name;
    int changedBefore;  // the track before which the image is written again; 0: never
    uint64_t reads;
  } cases[] = {{"left alone", 0, 1}, {"written again before track 3", 3, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRipJob job(*extractor, temp.File("out-" + std::to_string(c.changedBefore)));
    std::filesystem::create_directories(temp.File("out-" + std::to_string(c.changedBefore)));
    TListedTracks tracks({1, 2, 3});
    tracks.Before = [&](int track) {
      if (track == c.changedBefore) dm::WriteImage(cue, disc);
    };
    const uint64_t before = cdrip::CR_GetTocReadCount();
    job.Run(tracks);
    EXPECT_EQ(cdrip::CR_GetTocReadCount() - before, c.reads);
    EXPECT_EQ(tracks.Results(), std::vector<TTrackResult>(3, TTrackResult::Written));
  }
}

// A row's name becomes one file in the output folder, whatever it holds.
TEST(RipJob, HostileNamesBecomeOneSafeFileInTheOutputFolder) {
  TTempDir temp;
  UseImageDrive(temp, {dm::Sine(10, 440)});
  auto extractor = MakeComponent<TExtractor>();
  std::string e_acute;
  for (int i = 0; i < 150; ++i) e_acute += "\xC3\xA9";
  const struct {
    const char* kind;
    std::string name, file;
  } cases[] = {
      {"colon", "AC-DC: Back In Black", "AC-DC: Back In Black.wav"},
      {"climbing up", "..", "_.wav"},
      {"hidden", ".hidden", "_hidden.wav"},
      {"control characters", "a\tb\nc\x7f", "a_b_c_.wav"},
      {"300 bytes", std::string(300, 'x'), std::string(251, 'x') + ".wav"},
      {"300 bytes of two-byte characters", e_acute, e_acute.substr(0, 250) + ".wav"},
      {"nothing", "", "Track.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::string out = temp.File(std::string("out-") + c.kind);
    std::filesystem::create_directories(out);
    TRipJob job(*extractor, out);
    TListedTracks tracks({1});
    tracks.Names = {c.name};
    job.Run(tracks);
    ASSERT_EQ(tracks.Results(), std::vector<TTrackResult>{TTrackResult::Written});
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(out))
      files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{c.file});
    EXPECT_EQ(tracks.Outcomes[0].KeptAs, out + "/" + c.file);
  }
}

TEST(RipJob, EjectsTheDrivesOnlyOfAJobThatWroteEveryTrack) {
  TTempDir temp;
  UseImageDrive(temp, {dm::Sine(10, 440), dm::Sine(10, 660)});
  auto extractor = MakeComponent<TExtractor>();
  enum class TTray { Opens, Refuses, OfTheLibrary };
  const struct {
    const char* name;
    std::vector<int> tracks;
    TTray tray;
    std::vector<int> ejected;
    std::vector<std::string> problems;
  } cases[] = {
      {"every track written", {1, 2}, TTray::Opens, {0}, {}},
      {"a track the disc lacks", {1, 9}, TTray::Opens, {}, {}},
      {"a tray that will not open", {2}, TTray::Refuses, {0}, {"cannot eject drive 0: busy"}},
      // It leaves an image drive as it was.
      {"the library's own, on an image", {1}, TTray::OfTheLibrary, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> ejected;
    TEjectStage eject = c.tray == TTray::OfTheLibrary
                            ? TEjectStage()
                            : TEjectStage([&](int drive, std::string* why) {
                                ejected.push_back(drive);
                                if (c.tray == TTray::Opens) return cdrip::CR_OK;
                                *why = "busy";
                                return cdrip::CR_ERROR;
                              });
    const std::string out = temp.File(std::string("out-") + c.name);
    std::filesystem::create_directories(out);
    TRipJob job(*extractor, out);
    job.AddStage(eject);
    TListedTracks tracks(c.tracks);
    job.Run(tracks);
    EXPECT_EQ(ejected, c.ejected);
    EXPECT_EQ(eject.Problems(), c.problems);
    EXPECT_TRUE(TDisc::Read(0).Readable());
  }
}

}  // namespace
}  // namespace cdx::test
