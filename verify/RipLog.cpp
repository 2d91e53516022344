#include "verify/RipLog.h"

#include <openssl/evp.h>

#include <cstdio>
#include <ctime>

#include "verify/CueSheet.h"
#include "verify/Program.h"

namespace cdx::verify {

namespace {

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Hex(uint32_t value) {
  return Format("%08X", value);
}

std::string YesNo(bool value) {
  return value ? "yes" : "no";
}

std::string Now() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string Signed(int samples) {
  return (samples > 0 ? "+" : "") + std::to_string(samples) + " samples";
}

std::string OrNone(const std::string& text) {
  return text.empty() ? "none" : text;
}

class Lines {
 public:
  void Add(const std::string& line) { text_ += line + "\n"; }
  void Key(const std::string& key, const std::string& value) { Add(key + ": " + value); }
  void Blank() { text_ += "\n"; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

void Settings(const TLogRecord& r, Lines& out) {
  out.Key("Drive", r.Drive);
  out.Key("Read mode", r.ReadMode);
  out.Key("Defeat audio cache", "no");
  out.Key("Read offset correction", Signed(r.ReadOffset) + " (" + r.OffsetSource + ")");
  out.Key("Overread into lead-in and lead-out", "no");
  out.Key("Fill missing offset samples with silence",
          "yes (" + std::to_string(r.OffsetSilence) + " samples filled)");
  out.Key("Gap handling", r.GapHandling);
  out.Key("Null samples used in CRC", "yes");
  out.Key("Test and copy", YesNo(r.TestAndCopy));
  out.Key("Output format", r.Format);
}

void Disc(const TLogRecord& r, Lines& out) {
  out.Add("TOC");
  out.Add("  Track |  Start   |  Length  | Start sector | End sector | Type");
  for (size_t i = 0; i < r.Toc.tracks.size(); ++i) {
    const cdrip::TocTrack& t = r.Toc.tracks[i];
    uint32_t length = r.Toc.length(i);
    out.Add(Format("  %5d | %s | %s | %12u | %10u | %s", t.number, Msf(t.start).c_str(),
                   Msf(length).c_str(), t.start, t.start + length - 1, t.audio ? "audio" : "data"));
  }
  out.Key("Lead-out sector", std::to_string(r.Toc.leadOut));
  out.Key("MCN", OrNone(r.Toc.mcn));
  out.Key("MusicBrainz disc ID", OrNone(r.Ids.MusicBrainz));
  out.Key("CDDB disc ID", r.Ids.CddbText());
  out.Key("AccurateRip disc ID", r.Ids.ArText());
  out.Key("Metadata", r.Release.empty() ? "no metadata" : r.Release);
}

std::string ArOutcome(const TArTrackResult& ar) {
  std::string version = ar.MatchedV1 && ar.MatchedV2 ? "v1 and v2" : ar.MatchedV1 ? "v1" : "v2";
  std::string confidence = std::to_string(ar.Confidence) + "/" + std::to_string(ar.Total);
  switch (ar.Status) {
    case TArStatus::Accurate:
      return "matched (" + version + "), confidence " + confidence;
    case TArStatus::Mismatch:
      return std::string("not matched, confidence 0/") + std::to_string(ar.Total) +
             (ar.Frame450Matches ? " (its frame-450 sum matches: check the read offset)" : "");
    case TArStatus::NotInDatabase:
      return "track not in database";
    case TArStatus::NotCheckable:
      return "not checkable (the track was not read whole)";
    case TArStatus::NotVerified:
      break;
  }
  return ar.Reason.empty() || ar.Reason == "not asked" ? "not verified"
                                                       : "not verified (" + ar.Reason + ")";
}

std::string Positions(const std::vector<uint32_t>& sectors, uint32_t first) {
  std::string text;
  for (uint32_t s : sectors) {
    uint32_t at = s >= first ? s - first : 0;
    text += (text.empty() ? "" : ", ") + Format("%u:%02u.%02u", at / 4500, at / 75 % 60, at % 75);
  }
  return text.empty() ? "none" : text;
}

void Track(const TLogTrack& t, Lines& out) {
  out.Add("Track " + std::to_string(t.Number));
  out.Key("  File", OrNone(t.File));
  out.Key("  Range",
          "sectors " + std::to_string(t.FirstSector) + "-" + std::to_string(t.LastSector));
  out.Key("  Pregap", Msf(t.PregapSectors));
  out.Key("  ISRC", OrNone(t.Isrc));
  out.Key("  Pre-emphasis", YesNo(t.PreEmphasis));
  out.Key("  Peak level", Format("%.6f (%.1f %%)", t.Copy.PeakLevel(), t.Copy.PeakLevel() * 100));
  if (t.TestCrc) out.Key("  Test CRC32", Hex(*t.TestCrc));
  out.Key("  Copy CRC32", Hex(t.Copy.Crc32) + " (skip zero " + Hex(t.Copy.Crc32SkipZero) + ")");
  out.Key("  AccurateRip v1", Hex(t.Copy.ArV1));
  out.Key("  AccurateRip v2", Hex(t.Copy.ArV2));
  std::string database;
  for (uint32_t crc : t.Ar.DatabaseCrcs) database += (database.empty() ? "" : " ") + Hex(crc);
  out.Key("  AccurateRip database sums", OrNone(database));
  out.Key("  AccurateRip result", ArOutcome(t.Ar));
  out.Key("  Read errors", std::to_string(t.ReadErrors));
  out.Key("  Retries", std::to_string(t.Retries));
  out.Key("  Suspicious positions", Positions(t.SuspectSectors, t.FirstSector));
  out.Key("  Status", t.Status);
}

void Summary(const TLogRecord& r, Lines& out) {
  int counts[5] = {};
  std::string notAccurate;
  int errors = 0;
  std::vector<TArTrackResult> results;
  for (const TLogTrack& t : r.Tracks) {
    ++counts[static_cast<int>(t.Ar.Status)];
    results.push_back(t.Ar);
    errors += t.ReadErrors + (t.Status == "Copy OK" ? 0 : 1);
    if (t.Ar.Status != TArStatus::Accurate)
      notAccurate += (notAccurate.empty() ? "" : ", ") + std::string("track ") +
                     std::to_string(t.Number) + " (" + ArOutcome(t.Ar) + ")";
    if (t.Status != "Copy OK")
      notAccurate += (notAccurate.empty() ? "" : ", ") + std::string("track ") +
                     std::to_string(t.Number) + " (" + t.Status + ")";
  }
  out.Add("Summary");
  out.Key("  Tracks accurately ripped", std::to_string(counts[int(TArStatus::Accurate)]));
  out.Key("  Tracks not matched", std::to_string(counts[int(TArStatus::Mismatch)]));
  out.Key("  Tracks not in database", std::to_string(counts[int(TArStatus::NotInDatabase)]));
  out.Key("  Tracks not checkable", std::to_string(counts[int(TArStatus::NotCheckable)]));
  out.Key("  Tracks not verified", std::to_string(counts[int(TArStatus::NotVerified)]));
  std::string lookup = r.Lookup.Detail.empty() ? "" : " (" + r.Lookup.Detail + ")";
  out.Key("  AccurateRip", DiscVerdict(r.Lookup, results) + lookup);
  out.Key("  AccurateRip confidence",
          "the confidences of the matching database entries added up, out of those of all "
          "entries of the track");
  if (!notAccurate.empty()) out.Key("  Not accurate", notAccurate);
  out.Key("  Errors", std::to_string(errors));
  bool allGood = !r.Tracks.empty() && notAccurate.empty();
  out.Add(allGood ? "All tracks accurately ripped" : "Not all tracks accurately ripped");
  out.Add("End of report");
}

std::string Trimmed(std::string_view line) {
  size_t end = line.find_last_not_of(" \t\r\v\f");
  return std::string(end == std::string_view::npos ? std::string_view{} : line.substr(0, end + 1));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(Trimmed(std::string_view(text).substr(at, end - at)));
    at = end + 1;
  }
  return lines;
}

std::string Sha256Hex(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) hex += Format("%02X", digest[i]);
  return hex;
}

constexpr std::string_view kChecksumKey = "SHA-256 hash: ";

}  // namespace

std::string LogChecksumLine(const std::string& text) {
  std::string joined;
  auto lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) joined += (i ? "\n" : "") + lines[i];
  return std::string(kChecksumKey) + Sha256Hex(joined);
}

std::string BuildRipLog(const TLogRecord& r) {
  Lines out;
  out.Add((r.Program.empty() ? ProgramAndVersion() : r.Program) + " rip log");
  out.Key("Created", r.CreatedUtc.empty() ? Now() : r.CreatedUtc);
  out.Blank();
  Settings(r, out);
  out.Blank();
  Disc(r, out);
  for (const TLogTrack& t : r.Tracks) {
    out.Blank();
    Track(t, out);
  }
  out.Blank();
  Summary(r, out);
  out.Blank();
  return out.Text() + LogChecksumLine(out.Text()) + "\n";
}

TLogCheck CheckRipLog(const std::string& log) {
  auto lines = SplitLines(log);
  size_t at = lines.size();
  while (at > 0 && lines[at - 1].rfind(kChecksumKey, 0) != 0) --at;
  if (at == 0) return TLogCheck::NoChecksum;
  const std::string& checksum = lines[at - 1];
  // Text added below the checksum line changes the log too.
  for (size_t i = at; i < lines.size(); ++i)
    if (!lines[i].empty()) return TLogCheck::Changed;
  std::string above;
  for (size_t i = 0; i + 1 < at; ++i) above += lines[i] + "\n";
  return LogChecksumLine(above) == checksum ? TLogCheck::Unchanged : TLogCheck::Changed;
}

std::string LogCheckText(TLogCheck check) {
  switch (check) {
    case TLogCheck::Unchanged:
      return "The log is unchanged";
    case TLogCheck::Changed:
      return "The log was changed after it was written";
    case TLogCheck::NoChecksum:
      break;
  }
  return "The log has no checksum line";
}

}  // namespace cdx::verify
