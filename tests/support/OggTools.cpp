#include "tests/support/OggTools.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tests/support/TestSources.h"

namespace cdx::test {

namespace {

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// "Upper bitrate: 192.000000 kb/s" -> 192, "Upper bitrate not set" -> -1.
double Bitrate(const std::string& line) {
  const size_t colon = line.find(':');
  return colon == std::string::npos ? -1 : std::stod(line.substr(colon + 1));
}

void ReadStreamLine(const std::string& line, std::vector<TOggStream>& streams) {
  if (StartsWith(line, "New logical stream")) {
    TOggStream stream;
    const size_t serial = line.find("serial: ");
    if (serial != std::string::npos) stream.Serial = line.substr(serial + 8, 8);
    streams.push_back(stream);
    return;
  }
  if (streams.empty()) return;
  TOggStream& s = streams.back();
  if (StartsWith(line, "Channels: ")) s.Channels = std::stoi(line.substr(10));
  if (StartsWith(line, "Rate: ")) s.Rate = std::stoi(line.substr(6));
  if (StartsWith(line, "Nominal bitrate")) s.Nominal = Bitrate(line);
  if (StartsWith(line, "Upper bitrate")) s.Upper = Bitrate(line);
  if (StartsWith(line, "Lower bitrate")) s.Lower = Bitrate(line);
  if (StartsWith(line, "Logical stream") && line.find(" ended") != std::string::npos)
    s.Ended = true;
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

bool TOggInfo::Clean() const {
  const std::string said = Lowered(Output);
  return Status == 0 && said.find("warning") == std::string::npos &&
         said.find("error") == std::string::npos;
}

TOggInfo OggInfo(const std::string& path) {
  TOggInfo info;
  info.Status = RunCommand("ogginfo " + ShellQuoted(path), &info.Output);
  std::istringstream lines(info.Output);
  for (std::string line; std::getline(lines, line);) ReadStreamLine(line, info.Streams);
  return info;
}

std::vector<uint8_t> DecodeWithOggdec(const std::string& path) {
  const std::string raw = path + ".oggdec.raw";
  if (RunCommand("oggdec -Q -R -o " + ShellQuoted(raw) + " " + ShellQuoted(path)) != 0) return {};
  std::vector<uint8_t> pcm = ReadFile(raw);
  std::remove(raw.c_str());
  return pcm;
}

std::vector<uint8_t> DecodeWithFfmpegTool(const std::string& path, std::string* errors) {
  const std::string raw = path + ".ffmpeg.raw";
  const int status = RunCommand("ffmpeg -nostdin -y -v error -i " + ShellQuoted(path) +
                                    " -f s16le -c:a pcm_s16le " + ShellQuoted(raw),
                                errors);
  if (status != 0) return {};
  std::vector<uint8_t> pcm = ReadFile(raw);
  std::remove(raw.c_str());
  return pcm;
}

std::string ProbeStream(const std::string& path) {
  std::string out;
  RunCommand(
      "ffprobe -v error -select_streams a:0 -show_entries "
      "stream=channels,sample_rate,duration_ts -of csv=p=0 " +
          ShellQuoted(path),
      &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<std::string> VorbisCommentsOf(const std::string& path) {
  std::string out;
  std::vector<std::string> comments;
  if (RunCommand("vorbiscomment -l " + ShellQuoted(path), &out) != 0)
    return {"vorbiscomment failed"};
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) comments.push_back(line);
  return comments;
}

std::vector<double> RelativeError(const std::vector<uint8_t>& original,
                                  const std::vector<uint8_t>& decoded, int channels) {
  const std::vector<int16_t> a = Samples(original), b = Samples(decoded);
  const size_t count = std::min(a.size(), b.size()) / channels * channels;
  std::vector<double> signal(channels, 0), error(channels, 0), ratio(channels, 1);
  for (size_t i = 0; i < count; ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    signal[i % channels] += static_cast<double>(a[i]) * a[i];
    error[i % channels] += d * d;
  }
  for (int c = 0; c < channels; ++c)
    if (signal[c] > 0) ratio[c] = error[c] / signal[c];
  return ratio;
}

}  // namespace cdx::test
