// Binding of libogg and libvorbis/libvorbisenc: the encoder and stream state
// of one run, each part cleared once and only when it was set up. The
// libraries are linked into the program, so their loaded flags are true.
#pragma once

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

namespace cdx {

constexpr bool OggLoaded = true;
constexpr bool VorbisLoaded = true;
constexpr bool VorbisFileLoaded = true;
constexpr bool VorbisEncLoaded = true;

class TVorbisState {
 public:
  TVorbisState() { Reset(); }
  ~TVorbisState() { Clear(); }
  TVorbisState(const TVorbisState&) = delete;
  TVorbisState& operator=(const TVorbisState&) = delete;

  // Clears what was set up, in the order the libraries want: stream, block,
  // analysis, comment, info. Safe to call again.
  void Clear() noexcept;

  vorbis_info Info;
  vorbis_comment Comment;
  vorbis_dsp_state Dsp;
  vorbis_block Block;
  ogg_stream_state Stream;
  ogg_page Page;
  ogg_packet Packet;
  ogg_packet Identification;
  ogg_packet CommentHeader;
  ogg_packet Setup;

  // What has been set up and needs clearing.
  bool InfoReady = false;
  bool CommentReady = false;
  bool DspReady = false;
  bool BlockReady = false;
  bool StreamReady = false;

 private:
  void Reset() noexcept;
};

}  // namespace cdx
