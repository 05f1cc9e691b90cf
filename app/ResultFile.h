#pragma once
// Where the lookup leaves its page, and the header file it clears away.

#include <string>

// The one result file of this user: $XDG_CACHE_HOME/tarnwell/res.dat, or
// $HOME/.cache/tarnwell/res.dat when that variable is unset, empty or not an
// absolute path (the XDG rule for a bad value).
std::string ResultFilePath(const char* xdgCacheHome, const char* home);
// The same, from this process's environment.
std::string ResultFilePath();

// Creates or truncates the file, making its folder when missing, and writes the
// bytes exactly. Fails with EFCreateError carrying the path.
void WriteResultFile(const std::string& path, const std::string& bytes);

// Deletes every entry of `folder` whose name equals `name` without regard to
// letter case. What cannot be deleted is left; nothing is reported.
void DeleteFileNoCase(const std::string& folder, const std::string& name);
