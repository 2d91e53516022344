#include "tests/support/TagViews.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "tests/support/TestSources.h"

namespace cdx::test {
namespace {

TTagView ParseTagLines(const std::string& text, const std::string& prefix) {
  TTagView view;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with(prefix)) continue;
    line = line.substr(prefix.size());
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string name = line.substr(0, equals);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    view.emplace(name, line.substr(equals + 1));
  }
  return view;
}

}  // namespace

TTagView ToolTagView(const std::string& command, const std::string& prefix) {
  std::string out;
  EXPECT_EQ(RunCommand(command, &out), 0) << command << "\n" << out;
  return ParseTagLines(out, prefix);
}

TTagView FfprobeTagView(const std::string& path) {
  return ToolTagView("ffprobe -v error -show_entries format_tags:stream_tags -of default=nw=1 " +
                         ShellQuoted(path),
                     "TAG:");
}

TTagView MutagenTagView(const std::string& path, const std::string& kind) {
  // The system's python, the one Debian's python3-mutagen belongs to.
  return ToolTagView("/usr/bin/python3 " CDX_SOURCE_DIR "/tests/writers/tag_view.py " +
                     ShellQuoted(path) + " " + kind);
}

std::vector<std::string> TagValues(const TTagView& view, const std::string& name) {
  std::vector<std::string> values;
  auto [from, to] = view.equal_range(name);
  for (auto it = from; it != to; ++it) values.push_back(it->second);
  std::sort(values.begin(), values.end());
  return values;
}

}  // namespace cdx::test
