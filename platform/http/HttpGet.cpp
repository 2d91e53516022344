#include "platform/http/HttpGet.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace http {

namespace {

struct CurlCloser {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistCloser {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TBody {
  std::string* text;
  size_t limit;
  bool overflow = false;
};

size_t Append(char* data, size_t size, size_t count, void* user) {
  auto& body = *static_cast<TBody*>(user);
  size_t bytes = size * count;
  if (body.text->size() + bytes > body.limit) {
    body.overflow = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  body.text->append(data, bytes);
  return bytes;
}

int RetryAfter(CURL* handle) {
  curl_off_t seconds = -1;
  if (curl_easy_getinfo(handle, CURLINFO_RETRY_AFTER, &seconds) != CURLE_OK) return -1;
  return seconds > 0 ? static_cast<int>(seconds) : -1;
}

void Configure(CURL* handle, const TRequest& request, TBody& body, curl_slist* headers) {
  curl_easy_setopt(handle, CURLOPT_URL, request.Url.c_str());
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(request.Timeout.count()));
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.Timeout.count()));
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, static_cast<long>(request.MaxRedirects));
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
  if (!request.UserAgent.empty())
    curl_easy_setopt(handle, CURLOPT_USERAGENT, request.UserAgent.c_str());
  if (headers) curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
}

}  // namespace

TResponse Get(const TRequest& request) {
  InitOnce();
  TResponse response;
  std::unique_ptr<CURL, CurlCloser> handle(curl_easy_init());
  if (!handle) {
    response.Error = "the HTTP library could not start";
    return response;
  }
  std::unique_ptr<curl_slist, SlistCloser> headers;
  if (!request.Accept.empty())
    headers.reset(curl_slist_append(nullptr, ("Accept: " + request.Accept).c_str()));
  TBody body{&response.Body, request.MaxBytes};
  Configure(handle.get(), request, body, headers.get());
  CURLcode code = curl_easy_perform(handle.get());
  if (body.overflow) {
    response.Outcome = TOutcome::TooLarge;
    response.Body.clear();
    response.Error = "the answer is longer than " + std::to_string(request.MaxBytes) + " bytes";
    return response;
  }
  if (code == CURLE_TOO_MANY_REDIRECTS) {
    response.Outcome = TOutcome::RedirectLoop;
    response.Error = "too many redirects";
    return response;
  }
  if (code != CURLE_OK) {
    response.Error = curl_easy_strerror(code);
    return response;
  }
  long status = 0;
  curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
  char* type = nullptr;
  curl_easy_getinfo(handle.get(), CURLINFO_CONTENT_TYPE, &type);
  response.Outcome = TOutcome::Answered;
  response.Status = static_cast<int>(status);
  response.ContentType = type ? type : "";
  response.RetryAfterSeconds = RetryAfter(handle.get());
  return response;
}

std::string ServiceBase(const char* variable, const std::string& fallback) {
  const char* set = variable ? std::getenv(variable) : nullptr;
  std::string base = set && *set ? set : fallback;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

}  // namespace http
