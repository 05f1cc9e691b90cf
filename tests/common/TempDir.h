#pragma once
// A private folder under the system's temporary folder, removed with
// everything in it when the object goes away.

#include <string>

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return FPath; }
  // Path() + "/" + name.
  std::string File(const std::string& name) const { return FPath + "/" + name; }
  // Writes (replaces) a file below the folder, creating its parent folders.
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;

private:
  std::string FPath;
};
