#include "sources/ErrorTexts.h"

#include <ares.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <mutex>
#include <set>
#include <utility>

namespace site {

namespace {

enum class Source { Resolver, System, Certificate };

struct Translation {
  Source From;
  long Code;
  const char* Russian;
};

constexpr const char* kTimeOut = "превышено время ожидания";

constexpr Translation kTranslations[] = {
    {Source::Resolver, ARES_ENODATA, "нет записей"},
    {Source::Resolver, ARES_EFORMERR, "DNS-сервер не понял запрос"},
    {Source::Resolver, ARES_ESERVFAIL, "DNS-сервер не смог ответить"},
    {Source::Resolver, ARES_ENOTFOUND, "домен не существует"},
    {Source::Resolver, ARES_ENOTIMP, "DNS-сервер не поддерживает такой запрос"},
    {Source::Resolver, ARES_EREFUSED, "DNS-сервер отказал в ответе"},
    {Source::Resolver, ARES_EBADQUERY, "неверный DNS-запрос"},
    {Source::Resolver, ARES_EBADNAME, "неверное доменное имя"},
    {Source::Resolver, ARES_EBADFAMILY, "неподдерживаемый вид адреса"},
    {Source::Resolver, ARES_EBADRESP, "DNS-сервер прислал неверный ответ"},
    {Source::Resolver, ARES_ECONNREFUSED, "DNS-сервер недоступен"},
    {Source::Resolver, ARES_ETIMEOUT, kTimeOut},
    {Source::Resolver, ARES_EOF, "DNS-сервер закрыл соединение"},
    {Source::Resolver, ARES_EFILE, "не удалось прочитать настройки DNS"},
    {Source::Resolver, ARES_ENOMEM, "не хватает памяти"},
    {Source::Resolver, ARES_EDESTRUCTION, "запрос прерван: страница закрыта"},
    {Source::Resolver, ARES_EBADSTR, "неверная строка"},
    {Source::Resolver, ARES_ENONAME, "имя не указано"},
    {Source::Resolver, ARES_ENOTINITIALIZED, "модуль DNS не запущен"},
    {Source::Resolver, ARES_ECANCELLED, "запрос отменён"},
    {Source::System, EMFILE, "открыто слишком много сокетов"},
    {Source::System, ENFILE, "открыто слишком много сокетов"},
    {Source::System, ENOBUFS, "системе не хватает памяти"},
    {Source::System, ENOMEM, "системе не хватает памяти"},
    {Source::System, EACCES, "система не разрешает такие пакеты"},
    {Source::System, EPERM, "система не разрешает такие пакеты"},
    {Source::System, ENETUNREACH, "нет маршрута в сеть адресата"},
    {Source::System, EHOSTUNREACH, "адресат недоступен"},
    {Source::System, EAFNOSUPPORT, "система не поддерживает такие сокеты"},
    {Source::System, EPROTONOSUPPORT, "система не поддерживает такие сокеты"},
    {Source::System, EADDRNOTAVAIL, "не осталось свободных локальных портов"},
    {Source::System, ECONNREFUSED, "соединение отвергнуто"},
    {Source::System, ECONNRESET, "соединение сброшено"},
    {Source::System, ETIMEDOUT, kTimeOut},
    {Source::Certificate, X509_V_ERR_CERT_HAS_EXPIRED, "срок действия сертификата истёк"},
    {Source::Certificate, X509_V_ERR_CERT_NOT_YET_VALID, "сертификат ещё не действует"},
    {Source::Certificate, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, "сертификат подписан сам собой"},
    {Source::Certificate, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, "в цепочке сертификат, подписанный сам собой"},
    {Source::Certificate, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, "издатель сертификата неизвестен"},
    {Source::Certificate, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, "издатель сертификата неизвестен"},
    {Source::Certificate, X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, "подпись сертификата не проверить"},
    {Source::Certificate, X509_V_ERR_CERT_REVOKED, "сертификат отозван"},
    {Source::Certificate, X509_V_ERR_HOSTNAME_MISMATCH, "сертификат выдан другому имени"},
    {Source::Certificate, X509_V_ERR_CERT_SIGNATURE_FAILURE, "подпись сертификата неверна"},
    {Source::Certificate, X509_V_ERR_INVALID_CA, "издатель сертификата не вправе его выдавать"},
};

const char* SourceName(Source from) {
  switch (from) {
    case Source::Resolver: return "c-ares";
    case Source::System: return "the system";
    case Source::Certificate: return "OpenSSL";
  }
  return "";
}

// The Russian says it all to the page's reader; whoever runs the service
// learns the library's own words once, rather than with every page.
void LogOriginal(Source from, long code, const char* russian, const char* original) {
  static std::mutex lock;
  static std::set<std::pair<Source, long>> logged;
  {
    const std::lock_guard<std::mutex> hold(lock);
    if (!logged.insert({from, code}).second) return;
  }
  std::cerr << std::string("tarnwell-site: ") + SourceName(from) + " error " + std::to_string(code) + " \"" + original +
                   "\" is shown as \"" + russian + "\"\n";
}

std::string Told(Source from, long code, const char* original) {
  for (const Translation& row : kTranslations) {
    if (row.From != from || row.Code != code) continue;
    LogOriginal(from, code, row.Russian, original);
    return row.Russian;
  }
  // A code the table lacks still reads as a Russian sentence, its number kept for the log.
  return "ошибка " + std::to_string(code) + " (" + original + ")";
}

}  // namespace

std::string ResolverErrorText(int aresStatus) { return Told(Source::Resolver, aresStatus, ares_strerror(aresStatus)); }

std::string SystemErrorText(int errnoValue) {
  // strerror's buffer is shared between threads; the description is not.
  const char* original = strerrordesc_np(errnoValue);
  return Told(Source::System, errnoValue, original ? original : "Unknown error");
}

std::string CertificateErrorText(long verifyResult) {
  return Told(Source::Certificate, verifyResult, X509_verify_cert_error_string(verifyResult));
}

}  // namespace site
