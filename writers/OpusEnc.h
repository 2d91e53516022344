// Binding of libopusenc (over libopus): the encoder and the comment set of
// one run, each freed with its owner, and the texts of the library's error
// codes. The library is linked into the program, so the loaded flag is
// simply true; its types stay out of the writer's users.
#pragma once

#include <memory>
#include <string>

struct OggOpusEnc;
struct OggOpusComments;

namespace cdx {

constexpr bool OpusEncLoaded = true;

struct TOpusEncoderCloser {
  void operator()(OggOpusEnc* encoder) const;
};
struct TOpusCommentsCloser {
  void operator()(OggOpusComments* comments) const;
};

using TOpusEncoder = std::unique_ptr<OggOpusEnc, TOpusEncoderCloser>;
using TOpusComments = std::unique_ptr<OggOpusComments, TOpusCommentsCloser>;

// What a libopusenc result code means, as the library words it.
std::string OpusEncErrorText(int code);

}  // namespace cdx
