#include "tests/support/LocalHttpServer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace cdx::test {

namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      continue;
    }
    out += static_cast<char>(c);
  }
  return out + "\"";
}

// The value of "key": "..." in one log line, without unescaping beyond \" and \\.
std::string Field(const std::string& line, const std::string& key) {
  auto at = line.find("\"" + key + "\": \"");
  if (at == std::string::npos) return "";
  std::string value;
  for (size_t i = at + key.size() + 5; i < line.size() && line[i] != '"'; ++i)
    value += line[i] == '\\' && i + 1 < line.size() ? line[++i] : line[i];
  return value;
}

}  // namespace

TLocalHttpServer::TLocalHttpServer(const std::string& folder)
    : routes_(folder + "/routes.json"), log_(folder + "/requests.jsonl") {
  Serve({});
  std::ofstream(log_, std::ios::trunc);
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    const std::string script = CDX_SOURCE_DIR "/tests/support/local_http_server.py";
    execl("/usr/bin/python3", "python3", script.c_str(), routes_.c_str(), log_.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c = 0;
  while (line.size() < 16 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) throw std::runtime_error("the local HTTP server did not start");
}

TLocalHttpServer::~TLocalHttpServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

void TLocalHttpServer::Serve(const std::map<std::string, TAnswer>& answers) {
  std::ostringstream json;
  json << "{";
  const char* comma = "";
  for (const auto& [path, answer] : answers) {
    json << comma << JsonQuoted(path) << ": {\"status\": " << answer.Status
         << ", \"delay_ms\": " << answer.DelayMs;
    if (answer.FillBytes > 0)
      json << ", \"body_bytes\": " << answer.FillBytes;
    else
      json << ", \"body_hex\": \"" << Hex(answer.Body) << "\"";
    json << ", \"headers\": {";
    const char* inner = "";
    for (const auto& [name, value] : answer.Headers) {
      json << inner << JsonQuoted(name) << ": " << JsonQuoted(value);
      inner = ", ";
    }
    json << "}}";
    comma = ", ";
  }
  json << "}";
  // Written whole and then renamed: the server never reads half a file.
  const std::string part = routes_ + ".part";
  std::ofstream(part, std::ios::trunc) << json.str();
  std::rename(part.c_str(), routes_.c_str());
}

std::vector<TLoggedRequest> TLocalHttpServer::Requests() const {
  std::vector<TLoggedRequest> requests;
  std::ifstream log(log_);
  for (std::string line; std::getline(log, line);)
    requests.push_back({Field(line, "path"), Field(line, "user_agent"), Field(line, "accept")});
  return requests;
}

}  // namespace cdx::test
