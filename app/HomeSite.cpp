#include "HomeSite.h"

#include <QSettings>
#include <QStandardPaths>
#include <arpa/inet.h>
#include <netinet/in.h>

namespace {
const QString kOption = QStringLiteral("--home-site");
const QString kScheme = QStringLiteral("http://");
}  // namespace

std::string ChooseHomeSite(const QString& argument, const QString& environment, const QString& configured,
                           const QString& built) {
  for (const QString* source : {&argument, &environment, &configured, &built}) {
    QString site = source->trimmed();
    if (site.isEmpty()) continue;
    // A site copied from a browser's address bar names the same host: the
    // requests' own "http://" and path go round it.
    if (site.startsWith(kScheme, Qt::CaseInsensitive)) site.remove(0, kScheme.size());
    while (site.endsWith('/')) site.chop(1);
    return site.toStdString();
  }
  return {};
}

QString HomeSiteArgument(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == kOption && i + 1 < arguments.size()) return arguments[i + 1];
    if (arguments[i].startsWith(kOption + '=')) return arguments[i].mid(kOption.size() + 1);
  }
  return {};
}

QString UserConfigFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/tarnwell/tarnwell.conf");
}

std::string HomeSiteSetting(const QStringList& arguments) {
  const QSettings settings(UserConfigFile(), QSettings::IniFormat);
  return ChooseHomeSite(HomeSiteArgument(arguments), qEnvironmentVariable("TARNWELL_HOME_SITE"),
                        settings.value(QStringLiteral("HomeSite")).toString(), QStringLiteral(TARNWELL_HOME_SITE));
}

bool IsLoopbackHomeSite(const std::string& homeSite) {
  const std::string host = homeSite.substr(0, homeSite.find(':'));
  if (QString::fromStdString(host).compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
  in_addr address{};
  return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}
