#include "writers/OpusEnc.h"

#include <opusenc.h>

namespace cdx {

void TOpusEncoderCloser::operator()(OggOpusEnc* encoder) const {
  ope_encoder_destroy(encoder);
}

void TOpusCommentsCloser::operator()(OggOpusComments* comments) const {
  ope_comments_destroy(comments);
}

std::string OpusEncErrorText(int code) {
  return ope_strerror(code);
}

}  // namespace cdx
