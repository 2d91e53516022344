#include "tests/support/FlacTools.h"

#include <cstdio>
#include <sstream>

#include "tests/support/TestSources.h"

namespace cdx::test {

namespace {

// `text` without the spaces around it and, after the value, a unit word.
std::string FieldValue(std::string text) {
  const size_t start = text.find_first_not_of(' ');
  text = start == std::string::npos ? "" : text.substr(start);
  const size_t space = text.find(' ');
  return space == std::string::npos ? text : text.substr(0, space);
}

}  // namespace

bool FlacTestPasses(const std::string& path, std::string* errors) {
  std::string output;
  const int status = RunCommand("flac -t -s -w " + ShellQuoted(path), &output);
  if (errors) *errors = output;
  return status == 0 && output.empty();
}

std::vector<uint8_t> DecodeFlac(const std::string& path, bool unsignedSamples) {
  const std::string raw = path + ".raw";
  const std::string sign = unsignedSamples ? "unsigned" : "signed";
  if (RunCommand("flac -d -s -f --force-raw-format --endian=little --sign=" + sign + " -o " +
                 ShellQuoted(raw) + " " + ShellQuoted(path)) != 0)
    return {};
  std::vector<uint8_t> pcm = ReadFile(raw);
  std::remove(raw.c_str());
  return pcm;
}

std::map<std::string, std::string> FlacStreamInfo(const std::string& path,
                                                  const std::string& blockType) {
  std::string listing;
  std::map<std::string, std::string> fields;
  if (RunCommand("metaflac --list --block-type=" + blockType + " " + ShellQuoted(path), &listing) !=
      0)
    return fields;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.find(':');
    const size_t start = line.find_first_not_of(' ');
    if (colon == std::string::npos || start >= colon) continue;
    fields[line.substr(start, colon - start)] = FieldValue(line.substr(colon + 1));
  }
  return fields;
}

std::vector<uint8_t> FlacFrames(const std::string& path) {
  const std::vector<uint8_t> f = ReadFile(path);
  if (f.size() < 4 || std::string(f.begin(), f.begin() + 4) != "fLaC") return {};
  size_t at = 4;
  bool last = false;
  while (!last && at + 4 <= f.size()) {
    last = f[at] & 0x80;
    at += 4 + ((size_t{f[at + 1]} << 16) | (size_t{f[at + 2]} << 8) | f[at + 3]);
  }
  if (!last || at > f.size()) return {};
  return std::vector<uint8_t>(f.begin() + static_cast<std::ptrdiff_t>(at), f.end());
}

std::string Md5Hex(const std::vector<uint8_t>& bytes) {
  TTempDir dir;
  WriteFile(dir.File("bytes"), bytes);
  std::string output;
  RunCommand("md5sum " + ShellQuoted(dir.File("bytes")), &output);
  return output.substr(0, output.find(' '));
}

}  // namespace cdx::test
