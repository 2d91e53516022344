#include "platform/cdrip/Ini.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace cdrip {

namespace {

std::string Trim(const std::string& s) {
  auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool IniFile::Load(const std::string& path) {
  sections_.clear();
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  Section* current = nullptr;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      auto name = Trim(line.substr(1, line.size() - 2));
      current = Find(name);
      if (!current) current = &sections_.emplace_back(Section{name, {}});
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string::npos || !current) continue;
    Set(current->name, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
  }
  return true;
}

std::string IniFile::Text() const {
  std::ostringstream out;
  for (const auto& section : sections_) {
    out << '[' << section.name << "]\n";
    for (const auto& e : section.entries) out << e.key << '=' << e.value << '\n';
  }
  return out.str();
}

bool IniFile::Save(const std::string& path) const {
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  out << Text();
  out.close();
  return static_cast<bool>(out);
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
  const Section* s = Find(section);
  if (!s) return std::nullopt;
  for (const auto& e : s->entries)
    if (SameText(e.key, key)) return e.value;
  return std::nullopt;
}

int IniFile::GetInt(const std::string& section, const std::string& key, int fallback) const {
  auto text = Get(section, key);
  if (!text || text->empty()) return fallback;
  int value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end != text->data() + text->size()) return fallback;
  return value;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  Section* s = Find(section);
  if (!s) s = &sections_.emplace_back(Section{section, {}});
  for (auto& e : s->entries) {
    if (SameText(e.key, key)) {
      e.value = value;
      return;
    }
  }
  s->entries.push_back({key, value});
}

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  for (const auto& s : sections_) names.push_back(s.name);
  return names;
}

IniFile::Section* IniFile::Find(const std::string& section) {
  for (auto& s : sections_)
    if (SameText(s.name, section)) return &s;
  return nullptr;
}

const IniFile::Section* IniFile::Find(const std::string& section) const {
  for (const auto& s : sections_)
    if (SameText(s.name, section)) return &s;
  return nullptr;
}

}  // namespace cdrip
