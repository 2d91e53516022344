#include "verify/AccurateRip.h"

#include <mutex>
#include <thread>

#include "platform/http/HttpGet.h"
#include "verify/Program.h"

namespace cdx::verify {

namespace {

constexpr size_t kChunkHead = 13;  // count, id1, id2, cddb
constexpr size_t kEntryBytes = 9;  // confidence, crc, frame-450 crc
// 99 tracks make 904 bytes a chunk; a disc of many pressings stays far
// below this.
constexpr size_t kMaxAnswerBytes = 1u << 20;

uint32_t Le32(std::string_view bytes, size_t at) {
  auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

TArDisc NoUsableAnswer(const std::string& why) {
  return {TArLookup::NoAnswer, {}, "no usable answer", why};
}

TArDisc NotInDatabase(const std::string& why) {
  return {TArLookup::NotInDatabase, {}, "disc not in database", why};
}

bool LooksLikeAWebPage(std::string_view body) {
  size_t first = body.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && body[first] == '<';
}

std::string UserAgent(const TArSettings& settings) {
  std::string agent = "cd-extractor/" + ProgramVersion();
  return settings.Contact.empty() ? agent : agent + " ( " + settings.Contact + " )";
}

// Half a second at least between two requests of this process.
void KeepTheInterval(std::chrono::milliseconds interval) {
  static std::mutex mutex;
  static std::chrono::steady_clock::time_point last{};
  std::lock_guard lock(mutex);
  auto due = last + interval;
  if (std::chrono::steady_clock::now() < due) std::this_thread::sleep_until(due);
  last = std::chrono::steady_clock::now();
}

}  // namespace

std::string ArUrl(const TDiscIds& ids, const TArSettings& settings) {
  std::string fallback = settings.Base.empty() ? kArDefaultBase : settings.Base;
  return http::ServiceBase("CDX_ACCURATERIP_URL", fallback) + "/" + ids.ArPath();
}

TArDisc ParseArAnswer(std::string_view body, const TDiscIds& ids) {
  if (LooksLikeAWebPage(body)) return NotInDatabase("a web page came instead of sums");
  if (body.empty()) return NoUsableAnswer("it is empty");
  TArDisc disc{TArLookup::Found, {}, "", ""};
  for (size_t at = 0; at < body.size();) {
    if (body.size() - at < kChunkHead) return NoUsableAnswer("it ends inside a chunk");
    size_t count = static_cast<uint8_t>(body[at]);
    if (body.size() - at - kChunkHead < count * kEntryBytes)
      return NoUsableAnswer("it ends inside a chunk");
    TArChunk chunk{Le32(body, at + 1), Le32(body, at + 5), Le32(body, at + 9), {}};
    if (chunk.Id1 != ids.ArId1 || chunk.Id2 != ids.ArId2 || chunk.Cddb != ids.Cddb)
      return NoUsableAnswer("it is of another disc");
    if (count != static_cast<size_t>(ids.AudioTracks))
      return NoUsableAnswer("its track count differs from the disc's");
    for (size_t e = at + kChunkHead; e < at + kChunkHead + count * kEntryBytes; e += kEntryBytes)
      chunk.Tracks.push_back({static_cast<uint8_t>(body[e]), Le32(body, e + 1), Le32(body, e + 5)});
    disc.Chunks.push_back(std::move(chunk));
    at += kChunkHead + count * kEntryBytes;
  }
  return disc;
}

TArDisc LookUpDisc(const TDiscIds& ids, const TArSettings& settings) {
  if (ids.AudioTracks == 0) return NotInDatabase("the disc has no audio track");
  KeepTheInterval(settings.MinInterval);
  http::TRequest request;
  request.Url = ArUrl(ids, settings);
  request.UserAgent = UserAgent(settings);
  request.Timeout = settings.Timeout;
  request.MaxBytes = kMaxAnswerBytes;
  http::TResponse response = http::Get(request);
  if (response.Outcome != http::TOutcome::Answered)
    return {TArLookup::NoAnswer, {}, "no answer", response.Error};
  if (response.Status == 404) return NotInDatabase("HTTP 404");
  if (response.Status != 200)
    return {TArLookup::NoAnswer, {}, "no answer", "HTTP " + std::to_string(response.Status)};
  if (response.ContentType.find("text/html") != std::string::npos)
    return NotInDatabase("a web page came instead of sums");
  return ParseArAnswer(response.Body, ids);
}

TArTrackResult JudgeTrack(const TArDisc& disc, int slot, const TTrackChecksumResult& sums) {
  TArTrackResult r;
  if (disc.Lookup == TArLookup::NotAsked || disc.Lookup == TArLookup::NoAnswer) {
    r.Reason = disc.Lookup == TArLookup::NotAsked ? "not asked" : disc.Reason;
    return r;
  }
  if (!sums.Complete()) {
    r.Status = TArStatus::NotCheckable;
    return r;
  }
  r.Status = TArStatus::NotInDatabase;
  if (disc.Lookup != TArLookup::Found || slot < 0) return r;
  bool known = false;
  for (const TArChunk& chunk : disc.Chunks) {
    if (static_cast<size_t>(slot) >= chunk.Tracks.size()) continue;
    const TArEntry& e = chunk.Tracks[static_cast<size_t>(slot)];
    if (e.Confidence == 0) continue;  // an empty slot
    known = true;
    r.Total += e.Confidence;
    r.DatabaseCrcs.push_back(e.Crc);
    bool v1 = sums.ArV1 != 0 && e.Crc == sums.ArV1;
    bool v2 = sums.ArV2 != 0 && e.Crc == sums.ArV2;
    r.MatchedV1 = r.MatchedV1 || v1;
    r.MatchedV2 = r.MatchedV2 || v2;
    if (v1 || v2) r.Confidence += e.Confidence;
    if (sums.HasFrame450 && sums.Frame450 != 0 && e.Frame450 == sums.Frame450 && e.Confidence >= 2)
      r.Frame450Matches = true;
  }
  if (!known) return r;
  r.Status = r.MatchedV1 || r.MatchedV2 ? TArStatus::Accurate : TArStatus::Mismatch;
  if (r.Status == TArStatus::Accurate) r.Frame450Matches = false;
  return r;
}

std::string ResultText(const TArTrackResult& result) {
  switch (result.Status) {
    case TArStatus::Accurate:
      return "Accurate (confidence " + std::to_string(result.Confidence) + ")";
    case TArStatus::Mismatch:
      return "Mismatch";
    case TArStatus::NotInDatabase:
      return "Not in database";
    case TArStatus::NotCheckable:
      return "Not checkable";
    case TArStatus::NotVerified:
      break;
  }
  return result.Reason.empty() || result.Reason == "not asked"
             ? "Not verified"
             : "Not verified (" + result.Reason + ")";
}

std::string DiscVerdict(const TArDisc& disc, const std::vector<TArTrackResult>& tracks) {
  if (disc.Lookup == TArLookup::NotAsked) return "Not verified";
  if (disc.Lookup == TArLookup::NoAnswer) return "Not verified (" + disc.Reason + ")";
  if (disc.Lookup == TArLookup::NotInDatabase) return "Disc not in database";
  size_t accurate = 0;
  for (const TArTrackResult& t : tracks) accurate += t.Status == TArStatus::Accurate;
  if (!tracks.empty() && accurate == tracks.size()) return "All tracks accurately ripped";
  if (accurate == 0) return "No track accurately ripped (maybe another pressing)";
  return std::to_string(accurate) + " of " + std::to_string(tracks.size()) +
         " tracks accurately ripped";
}

}  // namespace cdx::verify
