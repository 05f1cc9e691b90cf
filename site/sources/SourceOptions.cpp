#include "sources/SourceOptions.h"

#include "base/OptionsParse.h"
#include "sources/AresResolver.h"
#include "sources/HttpsUrl.h"
#include "sources/WhoisQuery.h"

#include <boost/asio/ssl/context.hpp>

namespace site {

void CheckSourceOptions(const Options& options) {
  CheckResolverOptions(options);
  if (!ParseWhoisServer(options.WhoisRoot))
    throw OptionsError("--whois-root: '" + options.WhoisRoot + "' is not HOST or HOST:PORT");
  if (!ParseHttpsUrl(options.RdapBootstrap))
    throw OptionsError("--rdap-bootstrap: '" + options.RdapBootstrap + "' is not an https:// URL");
  if (!options.CaFile.empty()) {
    boost::asio::ssl::context tls(boost::asio::ssl::context::tls_client);
    boost::system::error_code error;
    tls.load_verify_file(options.CaFile, error);
    if (error) throw OptionsError("--ca-file: cannot load '" + options.CaFile + "' as PEM certificates (" + error.message() + ")");
  }
}

}  // namespace site
