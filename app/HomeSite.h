#pragma once
// Which home site the window talks to. The first one given wins: the command
// line's "--home-site HOST[:PORT]" (or "--home-site=HOST[:PORT]"), the
// TARNWELL_HOME_SITE environment variable, the key HomeSite of the user's
// ~/.config/tarnwell/tarnwell.conf, the build's setting. None at all means
// the embedded service: the window starts its own on a loopback port.

#include <QString>
#include <QStringList>
#include <string>

// The first non-empty one of the four, in that order of precedence, as
// HOST[:PORT]: one given as "http://HOST[:PORT]/" is taken without the
// scheme and the slash.
std::string ChooseHomeSite(const QString& argument, const QString& environment, const QString& configured,
                           const QString& built);

// The value of "--home-site" in the program's arguments; empty when absent.
QString HomeSiteArgument(const QStringList& arguments);

// The user's config file: $XDG_CONFIG_HOME/tarnwell/tarnwell.conf, by default
// under ~/.config.
QString UserConfigFile();

// ChooseHomeSite over the arguments, this process's environment, the user's
// config file ($XDG_CONFIG_HOME/tarnwell/tarnwell.conf) and the build.
std::string HomeSiteSetting(const QStringList& arguments);

// True when the home site's host is the machine itself: "localhost" or an
// address in 127.0.0.0/8, with or without a port.
bool IsLoopbackHomeSite(const std::string& homeSite);
