// A plain HTTP(S) GET on libcurl for the program's web services (the
// AccurateRip database, MusicBrainz, the cover archive). Every call is
// bounded: a whole-request timeout, a cap on the body, a cap on redirects;
// a failure is an answer with a one-line reason, never an exception, so
// that an offline machine rips on at once.
#pragma once

#include <chrono>
#include <string>

namespace http {

struct TRequest {
  std::string Url;
  // "cd-extractor/0.1.0 ( https://... )": services ask to be told who calls.
  std::string UserAgent;
  std::string Accept;  // "" sends none
  // For the whole request, connection included.
  std::chrono::milliseconds Timeout{std::chrono::seconds(4)};
  // A longer body is not read on: the answer is TooLarge.
  size_t MaxBytes = 4u << 20;
  int MaxRedirects = 3;
};

enum class TOutcome {
  Answered,  // an HTTP status came back (any status; see Status)
  NoAnswer,  // no connection, a timeout, a name that does not resolve
  TooLarge,  // the body passed MaxBytes
  RedirectLoop,
};

struct TResponse {
  TOutcome Outcome = TOutcome::NoAnswer;
  int Status = 0;  // 200, 404, 503...; 0 without an answer
  std::string Body;
  std::string ContentType;
  // Seconds a 503/429 asks to wait (Retry-After), -1 when not given.
  int RetryAfterSeconds = -1;
  // Why there is no usable answer, in one line; "" for an answer.
  std::string Error;

  bool Ok() const { return Outcome == TOutcome::Answered && Status == 200; }
};

TResponse Get(const TRequest& request);

// The base address of a service: the environment variable `variable` when
// it is set and not empty (tests point it at a server of their own), else
// `fallback`; any trailing '/' is dropped.
std::string ServiceBase(const char* variable, const std::string& fallback);

}  // namespace http
