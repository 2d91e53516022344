// A small INI file: sections of key=value lines, looked up without regard
// to case, written back in the order read with new entries appended.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cdrip {

class IniFile {
 public:
  // Reads `path`; false when it cannot be read (the object is then empty).
  bool Load(const std::string& path);
  // Writes the whole file; false on any I/O failure.
  bool Save(const std::string& path) const;

  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // Integer value, or `fallback` when missing or not a whole number.
  int GetInt(const std::string& section, const std::string& key, int fallback) const;
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // In the order read.
  std::vector<std::string> SectionNames() const;

  std::string Text() const;

 private:
  struct Entry {
    std::string key, value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  Section* Find(const std::string& section);
  const Section* Find(const std::string& section) const;

  std::vector<Section> sections_;
};

}  // namespace cdrip
