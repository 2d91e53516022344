// The names a disc carries itself: its CD-Text (drives and cdrdao TOC
// images, through libcdio) or the text lines of its CUE sheet (read here:
// libcdio drops REM lines, takes every value for Latin-1, and fails on a
// line longer than about 4 KB). Plain data; CR_ReadDiscText fills it.
//
// Every field is valid UTF-8 on one line, at most text::kMaxFieldBytes
// long, "" when the disc does not give it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cdrip {

struct TrackText {
  int number = 0;  // the track's number on the disc
  std::string title, performer, songwriter;
};

struct DiscText {
  // The album's title and artist, and who wrote it.
  std::string title, performer, songwriter;
  std::string genre;              // CUE REM GENRE, or the CD-Text genre
  std::string date;               // CUE REM DATE as written there ("1997", "1997-09-22")
  std::vector<TrackText> tracks;  // the tracks with any text, in disc order
  std::string source;             // "CUE sheet" or "CD-Text"

  bool empty() const {
    return title.empty() && performer.empty() && songwriter.empty() && genre.empty() &&
           date.empty() && tracks.empty();
  }
  // The text of track `number`, or null.
  const TrackText* find(int number) const {
    for (const TrackText& t : tracks)
      if (t.number == number) return &t;
    return nullptr;
  }
};

// The text lines of a CUE sheet: TITLE, PERFORMER and SONGWRITER before
// the first TRACK (the disc's) and after each TRACK (that track's), REM
// GENRE and REM DATE before the first TRACK. Keywords in any case, values
// quoted or not, a byte-order mark skipped.
DiscText SheetDiscText(std::string_view sheet);

// The sheet without its overlong text lines (TITLE, PERFORMER, REM...),
// which libcdio can then open: it gives up on a whole sheet over one line
// longer than about 4 KB. Its text is read with SheetDiscText, which cuts
// such values instead. The same sheet when no line is that long.
std::string SheetLibcdioOpens(std::string_view sheet);

struct Drive;
// The text of the disc in `drive`: a CUE image's from its sheet, any other
// drive's from its CD-Text (of the English block when there is one, else
// the first). False, with `text` empty, when the disc gives none.
bool ReadDiscText(const Drive& drive, DiscText& text);

}  // namespace cdrip
