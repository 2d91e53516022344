// A web service of the test's own on 127.0.0.1 (local_http_server.py): the
// test writes the answers, the server logs the requests. Started by the
// constructor, killed by the destructor.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace cdx::test {

struct TAnswer {
  int Status = 200;
  std::string Body;  // bytes, any content
  std::map<std::string, std::string> Headers;
  int DelayMs = 0;
  size_t FillBytes = 0;  // instead of Body: this many bytes of 'x'
};

struct TLoggedRequest {
  std::string Path;
  std::string UserAgent;
  std::string Accept;
};

class TLocalHttpServer {
 public:
  // Routes and log live in `folder`, which must exist.
  explicit TLocalHttpServer(const std::string& folder);
  ~TLocalHttpServer();
  TLocalHttpServer(const TLocalHttpServer&) = delete;
  TLocalHttpServer& operator=(const TLocalHttpServer&) = delete;

  // "http://127.0.0.1:PORT"
  std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }
  // Replaces every answer; a path may carry its query ("/a?x=1").
  void Serve(const std::map<std::string, TAnswer>& answers);
  std::vector<TLoggedRequest> Requests() const;

 private:
  std::string routes_, log_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace cdx::test
