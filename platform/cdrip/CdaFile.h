// The TrackNN.cda files in a drive's root folder.
//
// Each is 44 bytes, little-endian:
//   0 "RIFF"   4 u32 36   8 "CDDA"   12 "fmt "   16 u32 24
//  20 u16 1 (format version)   22 u16 track number   24 u32 disc identifier
//  28 u32 start sector (as in the TOC entry)   32 u32 length in sectors
//  36 start as 4 bytes: frame, second, minute, 0 (start = m*4500 + s*75 + f)
//  40 length as 4 bytes: frame, second, minute, 0
// The disc identifier is the CDDB disc id of the TOC: the digit sums of
// every track's start second (counting the 2-second lead-in, 150 sectors)
// added modulo 255 in the top byte, the playing time in seconds (lead-out
// second minus first-track second) in the middle 16 bits, the track count in
// the low byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/cdrip/cdrip.h"

namespace cdrip {

constexpr size_t kCdaBytes = 44;

// `toc` holds every track then the lead-out.
uint32_t DiscId(const std::vector<TOCENTRY>& toc);
std::array<uint8_t, kCdaBytes> CdaBytes(const std::vector<TOCENTRY>& toc, size_t index);
// "Track07.cda"
std::string CdaName(int trackNumber);
// Whether `name` is one the library gives a .cda file: TrackNN.cda.
bool IsCdaName(const std::string& name);

// Makes the root hold exactly one file per audio track of `toc`; files are
// rewritten only when their bytes change, through a rename so that readers
// never see half a file.
void WriteCdaFiles(const std::string& root, const std::vector<TOCENTRY>& toc);
// Removes every TrackNN.cda of the root.
void RemoveCdaFiles(const std::string& root);

}  // namespace cdrip
