// AccurateRip answers for the tests' disc images, made from the checksums
// of the audio the images hold, as a local web service serves them.
#pragma once

#include <string>
#include <vector>

#include "cd/DiscIds.h"
#include "cd/TrackChecksums.h"
#include "tests/support/LocalHttpServer.h"
#include "tools/discmaker.h"

namespace cdx::test {

inline cdrip::DiscToc TocOf(const std::vector<discmaker::TrackSpec>& tracks) {
  const std::vector<uint32_t> starts = discmaker::StartSectors(tracks);
  cdrip::DiscToc toc;
  for (size_t i = 0; i < tracks.size(); ++i) {
    cdrip::TocTrack t;
    t.number = static_cast<int>(i + 1);
    t.audio = tracks[i].kind == discmaker::TrackKind::Audio;
    t.start = starts[i];
    toc.tracks.push_back(t);
  }
  toc.leadOut = starts.back();
  return toc;
}

// The checksums of each track of the disc (data tracks too: their slots
// stay empty).
inline std::vector<TTrackChecksumResult> SumsOf(const std::vector<discmaker::TrackSpec>& tracks) {
  const std::vector<uint32_t> starts = discmaker::StartSectors(tracks);
  size_t first = tracks.size(), last = 0;
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].kind == discmaker::TrackKind::Audio) first = std::min(first, i), last = i;
  std::vector<TTrackChecksumResult> sums;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const std::vector<uint8_t> bytes = discmaker::TrackBytes(tracks[i], starts[i]);
    TTrackChecksums track({bytes.size() / 4, i == first, i == last});
    track.Samples(bytes.data(), bytes.size());
    sums.push_back(track.Result());
  }
  return sums;
}

inline TAnswer Reply(int status, std::string body, int delayMs = 0) {
  TAnswer answer;
  answer.Status = status;
  answer.Body = std::move(body);
  answer.DelayMs = delayMs;
  return answer;
}

inline std::string ArPathOf(const std::vector<discmaker::TrackSpec>& tracks) {
  return "/" + ComputeDiscIds(TocOf(tracks)).ArPath();
}

// One chunk holding each audio track's v1 sum with `confidence`.
inline std::string ArAnswer(const std::vector<discmaker::TrackSpec>& tracks, int confidence) {
  auto le32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  const TDiscIds ids = ComputeDiscIds(TocOf(tracks));
  const std::vector<TTrackChecksumResult> sums = SumsOf(tracks);
  std::string chunk(1, char(tracks.size()));
  chunk += le32(ids.ArId1) + le32(ids.ArId2) + le32(ids.Cddb);
  for (size_t i = 0; i < tracks.size(); ++i) {
    const bool audio = tracks[i].kind == discmaker::TrackKind::Audio;
    chunk += char(audio ? confidence : 0) + le32(audio ? sums[i].ArV1 : 0) + le32(0);
  }
  return chunk;
}

}  // namespace cdx::test
