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

void WriteResultFile(const std::string& path, const std::string& bytes) {
  const QString name = QString::fromStdString(path);
  QDir().mkpath(QFileInfo(name).absolutePath());
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) throw EFCreateError(path);
  if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
    throw Exception("Stream write error");
}

void DeleteFileNoCase(const std::string& folder, const std::string& name) {
  const QDir dir(QString::fromStdString(folder));
  const QString wanted = QString::fromStdString(name);
  for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
    if (entry.compare(wanted, Qt::CaseInsensitive) == 0) QFile::remove(dir.filePath(entry));
}
