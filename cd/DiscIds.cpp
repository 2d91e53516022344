#include "cd/DiscIds.h"

#include <discid/discid.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace cdx {

namespace {

constexpr uint32_t kLeadIn = 150;  // absolute frame = LSN + 150
// An Enhanced CD's first session ends this far before its data track:
// lead-out and lead-in between the sessions, and the data track's pregap.
constexpr uint32_t kSessionGap = 11400;

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

uint32_t DigitSum(uint32_t n) {
  uint32_t sum = 0;
  for (; n > 0; n /= 10) sum += n % 10;
  return sum;
}

// AccurateRip: audio tracks only, counted 1..n among themselves (so a data
// track 1 shifts nothing), to the disc's true lead-out.
void ArIds(const cdrip::DiscToc& toc, TDiscIds& ids) {
  uint32_t k = 0;
  for (const cdrip::TocTrack& t : toc.tracks) {
    if (!t.audio) continue;
    ++k;
    ids.ArId1 += t.start;
    ids.ArId2 += (t.start > 0 ? t.start : 1) * k;
  }
  ids.AudioTracks = static_cast<int>(k);
  ids.ArId1 += toc.leadOut;
  ids.ArId2 += toc.leadOut * (k + 1);
}

uint32_t CddbId(const cdrip::DiscToc& toc) {
  uint32_t digits = 0;
  for (const cdrip::TocTrack& t : toc.tracks) digits += DigitSum((t.start + kLeadIn) / 75);
  uint32_t seconds = (toc.leadOut + kLeadIn) / 75 - (toc.tracks.front().start + kLeadIn) / 75;
  return (digits % 255) << 24 | seconds << 8 | static_cast<uint32_t>(toc.tracks.size());
}

struct DiscIdFree {
  void operator()(DiscId* d) const { discid_free(d); }
};

// MusicBrainz: the first session only. Trailing data tracks are dropped and
// the lead-out moved back before them; leading ones are kept.
void MusicBrainzIds(const cdrip::DiscToc& toc, TDiscIds& ids) {
  size_t last = toc.tracks.size();
  while (last > 0 && !toc.tracks[last - 1].audio) --last;
  if (last == 0) return;
  int offsets[100] = {};
  for (size_t i = 0; i < last; ++i) {
    int number = toc.tracks[i].number;
    if (number < 1 || number > 99) return;
    offsets[number] = static_cast<int>(toc.tracks[i].start + kLeadIn);
  }
  offsets[0] = last < toc.tracks.size() ? static_cast<int>(toc.tracks[last].start + kLeadIn) -
                                              static_cast<int>(kSessionGap)
                                        : static_cast<int>(toc.leadOut + kLeadIn);
  std::unique_ptr<DiscId, DiscIdFree> disc(discid_new());
  if (!disc ||
      !discid_put(disc.get(), toc.tracks.front().number, toc.tracks[last - 1].number, offsets))
    return;
  ids.MusicBrainz = discid_get_id(disc.get());
  ids.MusicBrainzToc = discid_get_toc_string(disc.get());
}

}  // namespace

std::string TDiscIds::ArText() const {
  char count[8];
  std::snprintf(count, sizeof count, "%03d", AudioTracks);
  return std::string(count) + "-" + Hex8(ArId1) + "-" + Hex8(ArId2) + "-" + Hex8(Cddb);
}

std::string TDiscIds::ArPath() const {
  std::string h = Hex8(ArId1);
  return std::string{h[7], '/', h[6], '/', h[5], '/'} + "dBAR-" + ArText() + ".bin";
}

std::string TDiscIds::CddbText() const {
  return Hex8(Cddb);
}

TDiscIds ComputeDiscIds(const cdrip::DiscToc& toc) {
  TDiscIds ids;
  if (toc.empty()) return ids;
  ArIds(toc, ids);
  ids.Cddb = CddbId(toc);
  MusicBrainzIds(toc, ids);
  return ids;
}

}  // namespace cdx
