#pragma once
// What every report hands back to the page: one shape for all five, so that
// the page renders results and never does I/O itself.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace site {

// A table of plain UTF-8 cells; the page escapes them. An empty `Head` means
// a two-column label/value table without a heading row.
struct Table {
  std::vector<std::string> Head;
  std::vector<std::vector<std::string>> Rows;
};

enum class Outcome {
  Done,      // the report ran to its end
  Failed,    // `Reason` says why, in Russian
  TimedOut,  // the page's budget or the report's own deadline ran out first
};

struct ReportResult {
  Outcome State = Outcome::Done;
  std::string Reason;  // Russian, shown when not Done (and may be set when Done, as a remark)
  std::string Note;    // Russian, a line above the summary (e.g. which address a network record is for)
  Table Summary;
  std::string Raw;     // UTF-8 text shown under the summary in <pre>
  std::chrono::milliseconds Elapsed{0};
};

// Called exactly once, on the page's strand, when the report has finished.
using ReportDone = std::function<void(ReportResult)>;

}  // namespace site
