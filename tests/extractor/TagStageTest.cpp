// ReplayGain in the job, read back by metaflac: each job is an album of its
// own, so a second job of the same window gates its tracks without the
// first job's.
#include <gtest/gtest.h>

#include <filesystem>

#include "extractor/TagStage.h"
#include "tests/support/JobTracks.h"

namespace cdx::test {
namespace {

namespace dm = cdx::discmaker;

// The value of the tag `name`, "" when the file has none.
std::string Tag(const std::string& file, const std::string& name) {
  std::string out;
  RunCommand("metaflac --show-tag=" + name + " " + ShellQuoted(file), &out);
  const size_t value = out.find('=');
  return value == std::string::npos ? "" : out.substr(value + 1, out.find('\n') - value - 1);
}

TEST(TagStage, EachJobIsAnAlbumOfItsOwn) {
  TTempDir temp;
  std::filesystem::create_directories(temp.File("out"));
  UseImageDrive(temp, {dm::Sine(4 * 75, 440, 0.9), dm::Noise(4 * 75, 5, 0.02)});
  auto extractor = MakeComponent<TExtractor>();
  TTagStage tags(*extractor);
  for (const int track : {1, 2}) {
    SCOPED_TRACE(track);
    TRipJob job(*extractor, temp.File("out"));
    job.AddStage(tags);
    TListedTracks tracks({track});
    tracks.Format = FindFormat("flac");
    job.Run(tracks);
    ASSERT_EQ(tracks.Results(), std::vector<TTrackResult>{TTrackResult::Written});
    const std::string file = tracks.Outcomes[0].File;
    const std::string gain = Tag(file, "REPLAYGAIN_TRACK_GAIN");
    EXPECT_NE(gain.find(" dB"), std::string::npos) << gain;
    EXPECT_EQ(Tag(file, "REPLAYGAIN_ALBUM_GAIN"), gain);
  }
}

}  // namespace
}  // namespace cdx::test
