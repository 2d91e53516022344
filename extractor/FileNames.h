// The names of a job's files: the file-name template expanded with each
// track's tags, and the one sanitiser that every name that becomes a file
// or a folder goes through (row names, template values, the names of kept
// stopped files).
//
// A safe path component: "/", NUL and control characters (and bytes that
// are not UTF-8) become "_"; a leading "." becomes "_", so no file is hidden
// and "." or ".." cannot climb; trailing spaces and dots go; at most 255
// bytes, cut between characters, counting the extension and what the
// writer's hidden part file adds to the name; nothing left gives the
// fallback.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "writers/TrackTags.h"

namespace cdx {

// The most bytes a file's name may have: 255 (Linux), for the hidden name
// the writer gives the file while it is written as well.
size_t FileNameBytes();

// `name` as a file name ending in `extension` (".flac", or ""), kept whole;
// `fallback` when nothing of the name is left. Empty when even the
// extension does not fit.
std::string SafeFileName(std::string_view name, std::string_view extension,
                         std::string_view fallback);
std::string SafeFolderName(std::string_view name, std::string_view fallback);

inline constexpr char kDefaultTemplate[] = "%A/%d/%n %t";

struct TTemplateVariable {
  char Letter;
  const char* Meaning;
};
// What --help lists.
extern const std::array<TTemplateVariable, 21> kTemplateVariables;

// Why `tmpl` cannot name files (an unknown variable, a "%" at the end, no
// file name after the last "/"), in one line; "" when it can.
std::string TemplateProblem(std::string_view tmpl);

struct TJobNaming {
  std::string Template = kDefaultTemplate;
  // Where the names start; it is not sanitised (the user chose it).
  std::string OutputFolder;
  std::string Extension;  // ".flac"
  // Names the folder of a disc without names, so two such discs never
  // share one; without it their files go straight into the output folder.
  std::string DiscId;
  // The release's disambiguation, for %d and %c.
  std::string Disambiguation;
};

struct TNamedTrack {
  int Number = 0;  // the track's number on the disc, for TrackNN
  const TTrackTags* Tags = nullptr;
};

struct TJobFileName {
  std::string RelativePath;  // under the output folder
  std::string Path;          // OutputFolder + "/" + RelativePath
  // Why the track cannot have a file; then the paths are empty.
  std::string Problem;
};

// Every track's file, in the tracks' order. A disc without names (no album
// and no track title) gets DiscId/TrackNN; a track without a title gets
// TrackNN for %t. Two tracks that would share a name (letter case aside)
// are told apart: the later one gets " (2)", " (3)", ... before its
// extension. The template must have passed TemplateProblem.
std::vector<TJobFileName> NameJobFiles(const TJobNaming& naming,
                                       const std::vector<TNamedTrack>& tracks);

}  // namespace cdx
