#pragma once
// What the server answers to one request, before it becomes HTTP.

#include <string>

namespace site {

struct Reply {
  unsigned Status = 200;
  std::string Body;      // an HTML page
  std::string Location;  // for a redirection
  std::string LogNote;   // what the request was about, for the log line
  bool Json = false;     // the body is JSON, not HTML
};

// A Russian error page with its status.
Reply ErrorReply(unsigned status, std::string reason, std::string logNote);

}  // namespace site
