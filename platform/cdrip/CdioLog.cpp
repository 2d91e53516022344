#include "platform/cdrip/CdioLog.h"

#include <cdio/logging.h>

namespace cdrip {

namespace {

// Each thread's own: a rip and a query may fail at the same time.
thread_local std::string tLastMessage;

void KeepMessage(cdio_log_level_t level, const char message[]) {
  // A broken assertion inside libcdio leaves it in no state to go on with;
  // its own handler aborts, which runs no exit handlers.
  if (level == CDIO_LOG_ASSERT) cdio_default_log_handler(level, message);
  tLastMessage = message ? message : "";
}

}  // namespace

void TakeOverCdioLog() {
  // Warnings are about ordinary things, such as tracks shorter than a
  // pregap; and every message passed on goes through a logger that is not
  // safe to enter from two threads at once.
  cdio_loglevel_default = CDIO_LOG_ERROR;
  cdio_log_set_handler(KeepMessage);
}

void ClearCdioMessage() {
  tLastMessage.clear();
}

std::string LastCdioMessage() {
  return tLastMessage;
}

void NoteProblem(const std::string& message) {
  tLastMessage = message;
}

}  // namespace cdrip
