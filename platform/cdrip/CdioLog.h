// libcdio's messages. Its own handler ends the program on an error, and the
// exit handlers would then wait for the very read that failed; ours keeps
// the last message of each thread instead, to explain the failure it
// caused, and prints nothing.
#pragma once

#include <string>

namespace cdrip {

// Installs our handler (again on every call: cheap, and it stays ours).
void TakeOverCdioLog();
// Forgets this thread's last message.
void ClearCdioMessage();
// The last message libcdio gave, or that NoteProblem noted, on this thread
// since ClearCdioMessage; "" when none.
std::string LastCdioMessage();
// Keeps our own explanation of a failure in the same place.
void NoteProblem(const std::string& message);

}  // namespace cdrip
