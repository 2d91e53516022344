// Binding of the MP3 encoder library (libmp3lame): the encoder of one run,
// the texts of the library's error codes, its list of ID3v1 genres, and the
// one text encoding its tags are read in. The library is linked into the
// program, so the loaded flag is simply true.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct lame_global_struct;

namespace cdx {

constexpr bool LameLoaded = true;

// One encoder handle, closed with this object.
class TLameEncoder {
 public:
  // Raises EACSException when the library cannot make an encoder.
  TLameEncoder();
  lame_global_struct* Handle() const { return handle_.get(); }

 private:
  struct TCloser {
    void operator()(lame_global_struct* handle) const;
  };
  std::unique_ptr<lame_global_struct, TCloser> handle_;
};

// What a negative result of an encode or flush call means.
std::string LameErrorText(int code);

// The library's ID3v1 genre names, by number from 0 ("Blues") up.
std::vector<std::string> LameGenreNames();

// `text` (UTF-8) in Latin-1, the encoding readers take ID3v1 text in; a
// character Latin-1 lacks, and a byte that is not UTF-8, becomes '?'.
std::string ToLatin1(std::string_view text);

}  // namespace cdx
