// A release's front cover from the Cover Art Archive, checked to be a
// picture of a size worth embedding, and saved beside the ripped files.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "metadata/MusicBrainz.h"

namespace metadata {

struct TCoverArtSettings {
  // The archive's base, "" for CDX_COVERART_URL or else
  // https://coverartarchive.org.
  std::string BaseUrl;
  // The archive's copy of at most this many pixels a side (250, 500 or
  // 1200), 0 for the picture as uploaded (often several MB).
  int MaxSide = 1200;
  // A larger picture is refused: it would go into every file.
  size_t MaxBytes = 8u << 20;
  std::chrono::milliseconds Timeout{std::chrono::seconds(4)};
  std::chrono::milliseconds RequestInterval{std::chrono::seconds(1)};
  // Where fetched pictures are kept, so that the next rip of the release
  // needs no network: "" for the user's cache (cd-extractor/covers there).
  std::string CacheDir;
  bool UseCache = true;
  std::chrono::hours MaxCacheAge{24 * 30};
};

struct TCover {
  std::string Bytes;      // the picture, "" when there is none
  std::string MimeType;   // "image/jpeg" or "image/png"
  std::string Extension;  // ".jpg" or ".png"
  // Why there is no picture, in one line; "" when there is one.
  std::string Reason;

  bool empty() const { return Bytes.empty(); }
};

// "image/jpeg" or "image/png" by the picture's first bytes; "" for anything else.
std::string PictureType(std::string_view bytes);

// The front cover of `release`; asks only when the release says the
// archive has one, and follows the archive's redirect to the picture. A
// picture kept from an earlier fetch, not older than MaxCacheAge, is used
// without asking.
TCover FetchFrontCover(const TRelease& release, const TCoverArtSettings& settings = {});

// Puts the picture at `folder`/cover.jpg (or cover.png) through a fresh
// file renamed over it, so a reader never sees half a picture. The path
// written, or "" with `why` set.
std::string SaveCover(const TCover& cover, const std::string& folder, std::string* why = nullptr);
// The same for a picture's `bytes`, saved with `extension`.
std::string SaveCover(std::string_view bytes, const std::string& extension,
                      const std::string& folder, std::string* why = nullptr);

}  // namespace metadata
