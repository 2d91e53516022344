// cdx-help-to-man: writes a program's manual page from its --help and
// --version at build time, so the page never drifts from the options.
//
//   cdx-help-to-man PROGRAM SUMMARY TEMPLATE OUT
//
// TEMPLATE is roff: what comes before its line `.\" --help` opens the
// DESCRIPTION, what follows it ends the page. The help is read as the
// command line writes it: a "usage:" block (the synopsis), indented
// "TERM  text" lines, "NAME options:" headings, indented option lines
// ("--opt ARGS  text", the text maybe on the next, deeper-indented line),
// notes in parentheses and unindented paragraphs.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kHelpMark = ".\\\" --help";

// The whole output of `program option`; empty when it failed.
std::string Run(const std::string& program, const char* option) {
  std::string command = "'" + program + "' " + option;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "";
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  return ::pclose(pipe) == 0 ? text : "";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t Indent(const std::string& line) {
  size_t n = line.find_first_not_of(' ');
  return n == std::string::npos ? line.size() : n;
}

// Text as roff prints it: hyphens stay hyphens (options are copied from
// the page), backslashes stay, and no line is taken for a request.
std::string Escape(const std::string& text) {
  std::string out = (!text.empty() && (text[0] == '.' || text[0] == '\'')) ? "\\&" : "";
  for (char c : text) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  return out;
}

// "--rate 88200|44100  sample rate" at its first run of two spaces.
void SplitColumns(const std::string& text, std::string& left, std::string& right) {
  size_t gap = text.find("  ");
  left = text.substr(0, gap);
  right = gap == std::string::npos ? "" : text.substr(text.find_first_not_of(' ', gap));
}

// An option's name in bold and its arguments plain; a term in italics.
std::string Tag(const std::string& left) {
  if (left[0] != '-') return "\\fI" + Escape(left) + "\\fR";
  size_t space = left.find(' ');
  std::string name = left.substr(0, space);
  std::string args = space == std::string::npos ? "" : left.substr(space);
  return "\\fB" + Escape(name) + "\\fR" + Escape(args);
}

bool IsHeading(const std::string& line) {
  const std::string suffix = " options:";
  return Indent(line) == 0 && line.size() > suffix.size() &&
         line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class TPage {
 public:
  explicit TPage(std::ostream& out) : out_(out) {}

  // The usage block from `i` on; `i` ends past it.
  bool Synopsis(const std::vector<std::string>& help, size_t& i) {
    while (i < help.size() && help[i] != "usage:") ++i;
    if (i == help.size()) return false;
    out_ << ".SH SYNOPSIS\n.nf\n";
    for (++i; i < help.size() && !help[i].empty(); ++i)
      out_ << Escape(help[i].substr(std::min<size_t>(2, Indent(help[i])))) << "\n";
    out_ << ".fi\n";
    return true;
  }

  void Line(const std::string& line) {
    const size_t indent = Indent(line);
    if (indent == line.size()) {
      inParagraph_ = false;
    } else if (IsHeading(line)) {
      if (!inOptions_) out_ << ".SH OPTIONS\n";
      inOptions_ = true;
      out_ << ".SS \"" << Escape(line.substr(0, line.size() - 1)) << "\"\n";
    } else if (indent == 0) {
      if (!inParagraph_) out_ << ".PP\n";
      inParagraph_ = true;
      out_ << Escape(line) << "\n";
    } else if (indent > 2) {
      out_ << Escape(line.substr(indent)) << "\n";
    } else if (line[indent] == '(') {
      out_ << ".IP\n" << Escape(line.substr(indent)) << "\n";
    } else {
      std::string left, right;
      SplitColumns(line.substr(indent), left, right);
      out_ << ".TP\n" << Tag(left) << "\n";
      if (!right.empty()) out_ << Escape(right) << "\n";
    }
  }

 private:
  std::ostream& out_;
  bool inParagraph_ = false;
  bool inOptions_ = false;
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: cdx-help-to-man PROGRAM SUMMARY TEMPLATE OUT\n";
    return 2;
  }
  const std::string program = argv[1], summary = argv[2];
  const std::string name = program.substr(program.find_last_of('/') + 1);
  std::vector<std::string> help = Lines(Run(program, "--help"));
  std::vector<std::string> version = Lines(Run(program, "--version"));
  std::ifstream templateFile(argv[3]);
  std::vector<std::string> page = Lines(
      std::string(std::istreambuf_iterator<char>(templateFile), std::istreambuf_iterator<char>()));
  if (help.empty() || version.empty() || page.empty()) {
    std::cerr << "cdx-help-to-man: no --help, --version or template to make the page from\n";
    return 1;
  }
  std::ostringstream out;
  out << ".TH " << Upper(name) << " 1 \"\" \"" << Escape(version[0]) << "\" \"User Commands\"\n"
      << ".SH NAME\n"
      << Escape(name) << " \\- " << Escape(summary) << "\n";
  TPage roff(out);
  size_t at = 0;
  if (!roff.Synopsis(help, at)) {
    std::cerr << "cdx-help-to-man: the help of " << program << " has no usage block\n";
    return 1;
  }
  out << ".SH DESCRIPTION\n";
  size_t mark = 0;
  for (; mark < page.size() && page[mark] != kHelpMark; ++mark) out << page[mark] << "\n";
  for (; at < help.size(); ++at) roff.Line(help[at]);
  for (++mark; mark < page.size(); ++mark) out << page[mark] << "\n";
  std::ofstream file(argv[4]);
  file << out.str();
  return file.good() ? 0 : 1;
}
