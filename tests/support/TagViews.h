// A file's tags as independent readers print them: mutagen (through
// tests/writers/tag_view.py), ffprobe, or a format's own tool, read as
// "name=value" lines under lower-case names.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cdx::test {

using TTagView = std::multimap<std::string, std::string>;

// The "name=value" lines `command` prints (it must succeed) that start
// with `prefix`, without it.
TTagView ToolTagView(const std::string& command, const std::string& prefix = "");
TTagView FfprobeTagView(const std::string& path);
// `kind`: mp3, ogg, flac or ape.
TTagView MutagenTagView(const std::string& path, const std::string& kind);
// Every value of `name`, sorted.
std::vector<std::string> TagValues(const TTagView& view, const std::string& name);

}  // namespace cdx::test
