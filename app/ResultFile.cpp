#include "ResultFile.h"

#include "Toolkit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

std::string ResultFilePath(const char* xdgCacheHome, const char* home) {
  std::string cache;
  if (xdgCacheHome && xdgCacheHome[0] == '/') cache = xdgCacheHome;
  else cache = std::string(home ? home : "") + "/.cache";
  return cache + "/tarnwell/res.dat";
}

std::string ResultFilePath() {
  return ResultFilePath(std::getenv("XDG_CACHE_HOME"), QDir::homePath().toStdString().c_str());
}

std::string HeaderFilePath(const std::string& resultPath) {
  return QFileInfo(QString::fromStdString(resultPath)).dir().filePath(QStringLiteral("Head.txt")).toStdString();
}

void MakeFolderOf(const std::string& path) { QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath()); }

void WriteResultFile(const std::string& path, const std::string& bytes) {
  MakeFolderOf(path);
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw EFCreateError(path);
  if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
    throw Exception("Stream write error");
}
