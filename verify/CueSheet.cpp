#include "verify/CueSheet.h"

#include <cstdio>

#include "verify/Program.h"

namespace cdx::verify {

namespace {

std::string Quoted(const std::string& value) {
  std::string text = "\"";
  for (char c : value) text += c == '"' ? '\'' : static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  return text + "\"";
}

std::string TrackLine(int number) {
  char text[32];
  std::snprintf(text, sizeof text, "  TRACK %02d AUDIO\n", number);
  return text;
}

void Add(std::string& cue, const std::string& key, const std::string& value) {
  if (!value.empty()) cue += key + " " + Quoted(value) + "\n";
}

}  // namespace

std::string Msf(uint32_t sectors) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60,
                sectors % 75);
  return text;
}

std::string BuildCueSheet(const TCueRecord& r) {
  std::string cue;
  if (!r.DiscId.empty()) cue += "REM DISCID " + r.DiscId + "\n";
  if (!r.MusicBrainzId.empty()) cue += "REM MUSICBRAINZ_DISCID " + r.MusicBrainzId + "\n";
  cue += "REM COMMENT " + Quoted(r.Comment.empty() ? ProgramAndVersion() : r.Comment) + "\n";
  if (!r.Catalog.empty()) cue += "CATALOG " + r.Catalog + "\n";
  Add(cue, "PERFORMER", r.Performer);
  Add(cue, "TITLE", r.Title);
  bool hidden = !r.HiddenTrackFile.empty();
  for (size_t i = 0; i < r.Tracks.size(); ++i) {
    const TCueTrack& t = r.Tracks[i];
    // A track's gap ends the previous track's file; the first track's is a
    // file of its own, or silence in no file.
    bool gapAbove = i > 0 && t.PregapSectors > 0;
    bool hiddenTrack = i == 0 && hidden;
    if (hiddenTrack) cue += "FILE " + Quoted(r.HiddenTrackFile) + " WAVE\n";
    if (!gapAbove && !hiddenTrack) cue += "FILE " + Quoted(t.File) + " WAVE\n";
    cue += TrackLine(t.Number);
    Add(cue, "    TITLE", t.Title);
    Add(cue, "    PERFORMER", t.Performer);
    if (!t.Isrc.empty()) cue += "    ISRC " + t.Isrc + "\n";
    if (t.PreEmphasis) cue += "    FLAGS PRE\n";
    if (gapAbove) {
      uint32_t before = r.Tracks[i - 1].Sectors;
      cue += "    INDEX 00 " + Msf(before > t.PregapSectors ? before - t.PregapSectors : 0) + "\n";
    }
    if (hiddenTrack) cue += "    INDEX 00 00:00:00\n";
    if (gapAbove || hiddenTrack) cue += "FILE " + Quoted(t.File) + " WAVE\n";
    if (i == 0 && !hidden && t.PregapSectors > 0)
      cue += "    PREGAP " + Msf(t.PregapSectors) + "\n";
    cue += "    INDEX 01 00:00:00\n";
  }
  return cue;
}

}  // namespace cdx::verify
