#include "writers/VorbisState.h"

#include <cstring>

namespace cdx {

void TVorbisState::Reset() noexcept {
  std::memset(&Info, 0, sizeof Info);
  std::memset(&Comment, 0, sizeof Comment);
  std::memset(&Dsp, 0, sizeof Dsp);
  std::memset(&Block, 0, sizeof Block);
  std::memset(&Stream, 0, sizeof Stream);
  std::memset(&Page, 0, sizeof Page);
  std::memset(&Packet, 0, sizeof Packet);
  std::memset(&Identification, 0, sizeof Identification);
  std::memset(&CommentHeader, 0, sizeof CommentHeader);
  std::memset(&Setup, 0, sizeof Setup);
}

void TVorbisState::Clear() noexcept {
  if (StreamReady) ogg_stream_clear(&Stream);
  if (BlockReady) vorbis_block_clear(&Block);
  if (DspReady) vorbis_dsp_clear(&Dsp);
  if (CommentReady) vorbis_comment_clear(&Comment);
  if (InfoReady) vorbis_info_clear(&Info);
  StreamReady = BlockReady = DspReady = CommentReady = InfoReady = false;
  Reset();
}

}  // namespace cdx
