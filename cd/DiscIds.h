// The identifiers of a disc that the web services look it up by, from its
// table of contents: the AccurateRip ids, the CDDB id and the MusicBrainz
// disc id. Each follows its own rules for data tracks (see DiscIds.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "platform/cdrip/Toc.h"

namespace cdx {

struct TDiscIds {
  int AudioTracks = 0;
  uint32_t ArId1 = 0;
  uint32_t ArId2 = 0;
  uint32_t Cddb = 0;  // over all tracks, data included, to the true lead-out
  // "" when libdiscid refuses the TOC (no audio track, first track not 1).
  std::string MusicBrainz;
  // libdiscid's TOC string, "1 6 95462 150 15363 ...", for a lookup by TOC.
  std::string MusicBrainzToc;

  // "016-001fcbda-01800a88-e40d7a10": the disc as rip logs name it.
  std::string ArText() const;
  // "a/d/b/dBAR-016-001fcbda-01800a88-e40d7a10.bin", below the database's base.
  std::string ArPath() const;
  // The CDDB id as 8 lower-case hex digits.
  std::string CddbText() const;
};

// An empty TOC gives all zeros and empty texts.
TDiscIds ComputeDiscIds(const cdrip::DiscToc& toc);

}  // namespace cdx
