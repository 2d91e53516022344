// FLAC files as the reference tools see them (flac, metaflac, md5sum): the
// tests never judge a FLAC file by the program's own code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cdx::test {

// Whether `flac -t` accepts the file; `errors` gets what it said.
bool FlacTestPasses(const std::string& path, std::string* errors = nullptr);
// The samples `flac -d` decodes, as raw little-endian PCM; 8-bit samples
// come out unsigned, as the pipeline carries them, or signed, as FLAC
// holds them. Empty when the decoder fails.
std::vector<uint8_t> DecodeFlac(const std::string& path, bool unsignedSamples = false);
// The STREAMINFO fields `metaflac --list` shows, by name without the unit:
// "sample_rate" -> "44100", "total samples" -> "88200", "MD5 signature";
// or those of the first block of another type ("PADDING": "length").
std::map<std::string, std::string> FlacStreamInfo(const std::string& path,
                                                  const std::string& blockType = "STREAMINFO");
// The audio frames of a FLAC file: what follows its metadata blocks. Empty
// when the file does not start as a FLAC file.
std::vector<uint8_t> FlacFrames(const std::string& path);
// The MD5 of `bytes` in hex, by md5sum.
std::string Md5Hex(const std::vector<uint8_t>& bytes);

}  // namespace cdx::test
