#include "server/RequestLog.h"

#include <string>
#include <unistd.h>

namespace site {

void LogRequest(std::string_view client, std::string_view note, unsigned status, std::chrono::steady_clock::duration time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time).count();
  std::string line;
  line.reserve(client.size() + note.size() + 40);
  line.append(client).append(" ").append(note).append(" status=").append(std::to_string(status));
  line.append(" time=").append(std::to_string(ms)).append("ms\n");
  // One write per line, so that lines from several threads never interleave.
  [[maybe_unused]] const auto written = write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace site
