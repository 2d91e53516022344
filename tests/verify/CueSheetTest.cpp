// The CUE sheet in the notes' "multiple files with gaps" style.
#include <gtest/gtest.h>

#include "verify/CueSheet.h"

namespace cdx::verify {
namespace {

TCueRecord NotesDisc() {
  TCueRecord r;
  r.DiscId = "3404F606";
  r.MusicBrainzId = "49HHV7Eb8UKF3aQiNmu1GR8vKTY-";
  r.Comment = "<ripper> <version>";
  r.Catalog = "0123456789012";
  r.Performer = "Some Artist";
  r.Title = "Some Album";
  r.Tracks = {
      {1, "01 - First.flac", "First", "Some Artist", "XXA000000001", false, 16000, 33},
      {2, "02 - Second.flac", "Second", "", "", true, 3 * 4500 + 41 * 75 + 12 + 150, 0},
      {3, "03 - Third.flac", "Third", "", "", false, 9000, 150},
  };
  return r;
}

TEST(CueSheet, WritesTheNotesExampleAndItsHiddenTrackForm) {
  TCueRecord hidden = NotesDisc();
  hidden.HiddenTrackFile = "00 - Hidden.flac";
  hidden.Tracks[0].Isrc = "";
  hidden.Tracks[0].Performer = "";
  hidden.Tracks.resize(2);
  hidden.Tracks[1].PreEmphasis = false;
  hidden.MusicBrainzId = "";
  hidden.Catalog = "";
  hidden.Comment = "";
  hidden.Title = "Say \"hi\"\nTRACK 99 AUDIO";  // a CUE sheet has no escapes
  struct Case {
    const char* name;
    TCueRecord record;
    std::string sheet;
  } cases[] = {
      {"the notes' example", NotesDisc(),
       "REM DISCID 3404F606\n"
       "REM MUSICBRAINZ_DISCID 49HHV7Eb8UKF3aQiNmu1GR8vKTY-\n"
       "REM COMMENT \"<ripper> <version>\"\n"
       "CATALOG 0123456789012\n"
       "PERFORMER \"Some Artist\"\n"
       "TITLE \"Some Album\"\n"
       "FILE \"01 - First.flac\" WAVE\n"
       "  TRACK 01 AUDIO\n"
       "    TITLE \"First\"\n"
       "    PERFORMER \"Some Artist\"\n"
       "    ISRC XXA000000001\n"
       "    PREGAP 00:00:33\n"
       "    INDEX 01 00:00:00\n"
       "FILE \"02 - Second.flac\" WAVE\n"
       "  TRACK 02 AUDIO\n"
       "    TITLE \"Second\"\n"
       "    FLAGS PRE\n"
       "    INDEX 01 00:00:00\n"
       "  TRACK 03 AUDIO\n"
       "    TITLE \"Third\"\n"
       "    INDEX 00 03:41:12\n"
       "FILE \"03 - Third.flac\" WAVE\n"
       "    INDEX 01 00:00:00\n"},
      {"the first track's gap ripped as a file", hidden,
       "REM DISCID 3404F606\n"
       "REM COMMENT \"cd extractor " CDX_VERSION "\"\n"
       "PERFORMER \"Some Artist\"\n"
       "TITLE \"Say 'hi' TRACK 99 AUDIO\"\n"
       "FILE \"00 - Hidden.flac\" WAVE\n"
       "  TRACK 01 AUDIO\n"
       "    TITLE \"First\"\n"
       "    INDEX 00 00:00:00\n"
       "FILE \"01 - First.flac\" WAVE\n"
       "    INDEX 01 00:00:00\n"
       "FILE \"02 - Second.flac\" WAVE\n"
       "  TRACK 02 AUDIO\n"
       "    TITLE \"Second\"\n"
       "    INDEX 01 00:00:00\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildCueSheet(c.record), c.sheet) << c.name;
}

}  // namespace
}  // namespace cdx::verify
