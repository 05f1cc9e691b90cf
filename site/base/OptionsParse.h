#pragma once
// The service's options from its command line and its config file.

#include "base/Options.h"

#include <stdexcept>
#include <string>

namespace site {

// A bad option or config file; the text is English, for the operator.
struct OptionsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ParsedOptions {
  Options Values;
  bool HelpWanted = false;
  std::string Help;  // the usage text
};

// Reads the command line, then the config file named by --config, else by
// `configFromEnvironment` when it is not empty; the command line wins.
ParsedOptions ParseOptions(int argc, const char* const argv[], const std::string& configFromEnvironment);

}  // namespace site
