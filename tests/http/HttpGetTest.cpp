// The HTTP client against a server of the test's own: every kind of answer
// a web service can give, and none at all, each bounded in time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/http/HttpGet.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestSources.h"

namespace {

using namespace std::chrono;
using cdx::test::TAnswer;
using http::TOutcome;

struct TCase {
  const char* name;
  TAnswer answer;
  TOutcome outcome;
  int status;
  size_t bodyBytes;
  int retryAfter;
};

class HttpGetTest : public ::testing::Test {
 protected:
  http::TRequest Request(const std::string& path) {
    http::TRequest request;
    request.Url = server_->Base() + path;
    request.UserAgent = "cd-extractor-test/1 ( local )";
    request.Timeout = milliseconds(1500);
    request.MaxBytes = 1000;
    return request;
  }

  cdx::test::TTempDir folder_;
  std::unique_ptr<cdx::test::TLocalHttpServer> server_ =
      std::make_unique<cdx::test::TLocalHttpServer>(folder_.Path());
};

TEST_F(HttpGetTest, EachKindOfAnswerAndNoneIsToldApartWithinItsTimeout) {
  TAnswer loop{302, "", {{"Location", "/loop"}}};
  const TCase cases[] = {
      {"binary body", {200, std::string("\0\1\2\xff", 4), {}}, TOutcome::Answered, 200, 4, -1},
      {"not found", {404, "no such disc", {}}, TOutcome::Answered, 404, 12, -1},
      {"busy, come back", {503, "", {{"Retry-After", "7"}}}, TOutcome::Answered, 503, 0, 7},
      {"body at the cap", {200, "", {}, 0, 1000}, TOutcome::Answered, 200, 1000, -1},
      {"body past the cap", {200, "", {}, 0, 1001}, TOutcome::TooLarge, 0, 0, -1},
      {"too slow", {200, "late", {}, 3000}, TOutcome::NoAnswer, 0, 0, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    server_->Serve({{"/x", c.answer}, {"/loop", loop}});
    auto begun = steady_clock::now();
    http::TResponse response = http::Get(Request("/x"));
    EXPECT_LT(steady_clock::now() - begun, milliseconds(2500));
    EXPECT_EQ(response.Outcome, c.outcome) << response.Error;
    EXPECT_EQ(response.Status, c.status);
    EXPECT_EQ(response.Body.size(), c.bodyBytes);
    EXPECT_EQ(response.RetryAfterSeconds, c.retryAfter);
    EXPECT_EQ(response.Error.empty(), c.outcome == TOutcome::Answered);
  }
  EXPECT_EQ(http::Get(Request("/loop")).Outcome, TOutcome::RedirectLoop);
  // The service learns who asks.
  ASSERT_FALSE(server_->Requests().empty());
  EXPECT_EQ(server_->Requests().front().UserAgent, "cd-extractor-test/1 ( local )");

  // No server at all: no answer, at once.
  const http::TRequest gone = Request("/x");
  server_.reset();
  auto begun = steady_clock::now();
  http::TResponse response = http::Get(gone);
  EXPECT_LT(steady_clock::now() - begun, milliseconds(500));
  EXPECT_EQ(response.Outcome, TOutcome::NoAnswer);
  EXPECT_FALSE(response.Error.empty());
}

TEST(ServiceBase, TheEnvironmentReplacesTheDefault) {
  ::unsetenv("CDX_TEST_BASE");
  EXPECT_EQ(http::ServiceBase("CDX_TEST_BASE", "https://example.org/ws/2/"),
            "https://example.org/ws/2");
  ::setenv("CDX_TEST_BASE", "http://127.0.0.1:9/ws", 1);
  EXPECT_EQ(http::ServiceBase("CDX_TEST_BASE", "https://example.org/ws/2"),
            "http://127.0.0.1:9/ws");
  ::setenv("CDX_TEST_BASE", "", 1);
  EXPECT_EQ(http::ServiceBase("CDX_TEST_BASE", "https://e.org"), "https://e.org");
  ::unsetenv("CDX_TEST_BASE");
}

}  // namespace
