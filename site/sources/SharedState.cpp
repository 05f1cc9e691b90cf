#include "sources/ReportContext.h"

#include <stdexcept>

namespace site {

SharedState::SharedState(const Options& options) : Opts(options), Tls(boost::asio::ssl::context::tls_client) {
  Tls.set_verify_mode(boost::asio::ssl::verify_peer);
  if (options.CaFile.empty()) Tls.set_default_verify_paths();
  else Tls.load_verify_file(options.CaFile);
}

}  // namespace site
