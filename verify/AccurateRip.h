// The AccurateRip database: one request per disc for the sums other people
// ripped of it, and each track judged against them. A short, long or
// garbled answer is "no usable answer", never a match.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cd/DiscIds.h"
#include "cd/TrackChecksums.h"

namespace cdx::verify {

constexpr const char* kArDefaultBase = "http://www.accuraterip.com/accuraterip";

// One track's slot of one chunk of the answer.
struct TArEntry {
  uint8_t Confidence = 0;
  uint32_t Crc = 0;
  uint32_t Frame450 = 0;
};

// One chunk: the sums of one pressing as rips of one kind (v1 or v2) gave
// them; slot i is the disc's i-th TOC position.
struct TArChunk {
  uint32_t Id1 = 0, Id2 = 0, Cddb = 0;
  std::vector<TArEntry> Tracks;
};

enum class TArLookup {
  NotAsked,       // verification switched off
  NoAnswer,       // offline, timed out, a server error, or an answer that is of no use
  NotInDatabase,  // the database does not know the disc
  Found,
};

struct TArDisc {
  TArLookup Lookup = TArLookup::NotAsked;
  std::vector<TArChunk> Chunks;
  // Why there is no answer or no disc: "no answer", "no usable answer",
  // "disc not in database"; "" when found.
  std::string Reason;
  // The same for the log, in a few words more ("HTTP 500", "it ends inside
  // a chunk").
  std::string Detail;
};

struct TArSettings {
  // The database's address; "" for kArDefaultBase. The environment variable
  // CDX_ACCURATERIP_URL, when set, goes before both.
  std::string Base;
  // For the whole request: no track waits longer for the answer.
  std::chrono::milliseconds Timeout{2500};
  // The database asks for half a second between requests.
  std::chrono::milliseconds MinInterval{500};
  // A web address for the User-Agent ("cd-extractor/0.1.0 ( URL )"); none when "".
  std::string Contact;
};

// The address of the disc's answer.
std::string ArUrl(const TDiscIds& ids, const TArSettings& settings = {});
// Reads an answer of HTTP status 200: Found with its chunks, NotInDatabase
// for a web page, NoAnswer for anything that is not whole chunks of this
// disc (another disc's ids, another track count).
TArDisc ParseArAnswer(std::string_view body, const TDiscIds& ids);
// Asks the database about the disc, within the settings' timeout.
TArDisc LookUpDisc(const TDiscIds& ids, const TArSettings& settings = {});

enum class TArStatus {
  Accurate,       // a database sum equals the track's v1 or v2
  Mismatch,       // the database has the track, none of its sums matches
  NotInDatabase,  // neither the disc, nor this track of it
  NotVerified,    // not asked, or no usable answer
  NotCheckable,   // the track was not read whole
};

struct TArTrackResult {
  TArStatus Status = TArStatus::NotVerified;
  bool MatchedV1 = false, MatchedV2 = false;
  // Confidence rule: the confidences of every entry that matches, added up
  // (two pressings' or the v1 and v2 entries of one), out of the
  // confidences of all entries of the track added up.
  int Confidence = 0;
  int Total = 0;
  // The track's sums in the database (non-empty entries), for the log.
  std::vector<uint32_t> DatabaseCrcs;
  // No match, but the frame-450 sum matches an entry of confidence 2 or
  // more: the read offset is the likely fault, not the disc.
  bool Frame450Matches = false;
  std::string Reason;  // for NotVerified: the lookup's reason
};

// The database slot of track `index` of the TOC: its TOC position, data
// tracks counted (a mixed-mode disc's last audio track has none).
inline int ArSlot(size_t index) {
  return static_cast<int>(index);
}

// Judges one audio track by its checksums (of the whole track: see
// TTrackChecksumResult::Complete) and its slot. A sum of 0 never matches.
TArTrackResult JudgeTrack(const TArDisc& disc, int slot, const TTrackChecksumResult& sums);

// What the window and the command line show: "Accurate (confidence 12)",
// "Mismatch", "Not in database", "Not verified (no answer)", "Not checkable".
std::string ResultText(const TArTrackResult& result);
// The verdict over the disc's audio tracks: "All tracks accurately ripped",
// "8 of 10 tracks accurately ripped", "No track accurately ripped (maybe
// another pressing)", "Disc not in database", "Not verified (...)".
std::string DiscVerdict(const TArDisc& disc, const std::vector<TArTrackResult>& tracks);

}  // namespace cdx::verify
