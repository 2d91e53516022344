// Tags finished files with TagLib, in the names taggers and players share:
// ID3v2.4 (and the ID3v1 copy) for MP3, Vorbis comments for Ogg Vorbis,
// Ogg Opus and FLAC, APEv2 for Monkey's Audio, the LIST INFO chunk for WAV.
//
// WriteTags runs on a writer's complete file before it takes its name (the
// finished-file hook of TACSFileOut): what it raises fails the run.
// WriteGains runs on finished files, once the album's loudness is known.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "writers/ACS_LAME.h"
#include "writers/ACS_Vorbis.h"
#include "writers/TrackTags.h"

namespace cdx {

// The container a file is tagged as; the writer knows it, so the file's
// name need not tell.
enum class TTagFormat { Wav, Mp3, OggVorbis, OggOpus, Flac, Ape };

// Writes every known field of `tags`, their ReplayGain values and cover
// into the file at `path`. A field the user set and the file already holds
// keeps the file's text. Raises EACSException with a one-line reason when
// TagLib cannot read the file as `format` or cannot save it.
//
// Per format: WAV gets title, artist, album, date, genre, comment and track
// number only (the INFO chunk has no other fields; no gain, no picture).
// Opus gets R128_TRACK_GAIN / R128_ALBUM_GAIN (Q7.8 dB to -23 LUFS, after
// the stream's output gain) instead of the REPLAYGAIN fields, and no peak.
// MP3 keeps the ID3v1 fields the writer wrote and fills its empty ones.
void WriteTags(const std::string& path, TTagFormat format, const TTrackTags& tags);

// Writes the track's and the album's gain and peak (those given) into the
// finished file at `path`. Where the file has room for them in its tag
// region (FLAC padding, the ID3v2 tag's padding, the APEv2 tag at the end),
// only that region is rewritten and no audio byte moves. Otherwise (always
// for Ogg, where TagLib moves the pages after the comments) a copy is
// tagged and moved onto `path`, so a failure leaves the file as it was. WAV
// files are left alone. Raises EACSException with a one-line reason naming
// `path`.
void WriteGains(const std::string& path, TTagFormat format, const std::optional<TReplayGain>& track,
                const std::optional<TReplayGain>& album);

// The padding a FLAC file needs at encode time for `tags` to fit in place:
// room for the usual text fields and for the cover, if any.
uint32_t FLACPaddingFor(const TTrackTags& tags);

// The MP3 tag dialog's texts as what the user typed; empty texts are not
// values. "3" or "3/12" in the track text sets the number and the total.
void ApplyUserTags(TTrackTags& tags, const TMP3Tags& typed);
// The Ogg writer's comment fields (as VorbisCommentFields reads the lines)
// as what the user typed, for the fields the record knows by their Vorbis
// names; a name the record does not know stays in the file untouched.
void ApplyUserComments(TTrackTags& tags, const std::vector<TVorbisField>& comments);

}  // namespace cdx
