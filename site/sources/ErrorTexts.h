#pragma once
// What the resolver (c-ares), TLS (OpenSSL) and the system (errno) say when
// they fail, told in Russian for the page. Their own English words go to the
// log for whoever runs the service, once per code and process; only a code
// the table lacks keeps them on the page, in brackets after its number. Every
// translation lives in this one table.

#include <string>

namespace site {

// "превышено время ожидания" for ARES_ETIMEOUT.
std::string ResolverErrorText(int aresStatus);

// "открыто слишком много сокетов" for EMFILE; "ошибка 200 (...)" for a code
// the table lacks.
std::string SystemErrorText(int errnoValue);

// Why a peer's certificate failed verification, from SSL_get_verify_result.
std::string CertificateErrorText(long verifyResult);

}  // namespace site
