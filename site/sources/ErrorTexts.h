#pragma once
// What the resolver (c-ares), TLS (OpenSSL) and the system (errno) say when
// they fail, told in Russian for the page; their own English words follow in
// brackets for whoever runs the service. Every translation lives in this one table.

#include <string>

namespace site {

// "превышено время ожидания (Timeout while contacting DNS servers)" for ARES_ETIMEOUT.
std::string ResolverErrorText(int aresStatus);

// "открыто слишком много сокетов (Too many open files)" for EMFILE.
std::string SystemErrorText(int errnoValue);

// Why a peer's certificate failed verification, from SSL_get_verify_result.
std::string CertificateErrorText(long verifyResult);

}  // namespace site
