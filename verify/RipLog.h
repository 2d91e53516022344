// The rip log written beside the files of a job: what was read, how, and
// how well, ending in a SHA-256 line over the text above it so that a log
// changed afterwards is told apart. Built from plain records the job fills.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cd/DiscIds.h"
#include "cd/TrackChecksums.h"
#include "platform/cdrip/Toc.h"
#include "verify/AccurateRip.h"

namespace cdx::verify {

struct TLogTrack {
  int Number = 0;
  std::string File;  // as written; "" when none was
  // The sectors ripped, first and last, before the offset shift.
  uint32_t FirstSector = 0, LastSector = 0;
  uint32_t PregapSectors = 0;
  std::string Isrc;
  bool PreEmphasis = false;
  // Of the copy pass (the only pass without test and copy).
  TTrackChecksumResult Copy;
  std::optional<uint32_t> TestCrc;  // with test and copy
  TArTrackResult Ar;
  int ReadErrors = 0;  // sectors the drive would not give at first
  int Retries = 0;
  std::vector<uint32_t> SuspectSectors;  // sectors that never read well
  // "Copy OK", "CRC mismatch", "Copy failed: Read error at sector 1234".
  std::string Status = "Copy OK";
};

struct TLogRecord {
  std::string Program;     // "" for ProgramAndVersion()
  std::string CreatedUtc;  // ISO 8601; "" for now
  std::string Drive;       // "image: /path/disc.cue", or vendor, model and revision
  std::string ReadMode;    // "paranoia, full"
  int ReadOffset = 0;
  std::string OffsetSource;    // "image, 0", "user", "AccurateRip drive list"
  uint64_t OffsetSilence = 0;  // samples filled with silence at the disc's edges
  bool TestAndCopy = false;
  std::string GapHandling;  // "appended to previous track"
  std::string Format;       // "FLAC, level 5"
  cdrip::DiscToc Toc;
  TDiscIds Ids;
  std::string Release;  // "MusicBrainz release <MBID>", "no metadata"
  TArDisc Lookup;
  std::vector<TLogTrack> Tracks;  // the tracks ripped, in order
};

// The whole log, its SHA-256 line last, each line ended by '\n'.
std::string BuildRipLog(const TLogRecord& record);

// "SHA-256 hash: " and 64 upper-case hex digits of the SHA-256 of `text`'s
// lines with their trailing white space trimmed, joined with '\n' (no '\n'
// after the last), so that anyone can recompute it.
std::string LogChecksumLine(const std::string& text);

enum class TLogCheck { Unchanged, Changed, NoChecksum };
// Checks a log's last checksum line against the text above it; any text
// below it is a change too.
TLogCheck CheckRipLog(const std::string& log);
// "The log is unchanged", "The log was changed after it was written",
// "The log has no checksum line".
std::string LogCheckText(TLogCheck check);

}  // namespace cdx::verify
