#pragma once
// Where the lookup leaves its page, and the header file the client writes
// beside it while the reply comes in.

#include <string>

// The one result file of this user: $XDG_CACHE_HOME/tarnwell/res.dat, or
// $HOME/.cache/tarnwell/res.dat when that variable is unset, empty or not an
// absolute path (the XDG rule for a bad value).
std::string ResultFilePath(const char* xdgCacheHome, const char* home);
// The same, from this process's environment.
std::string ResultFilePath();

// "Head.txt" in the result file's folder: the lookup never writes or deletes
// anything in the folder the program was started from, which may be the
// user's own or one nobody may write.
std::string HeaderFilePath(const std::string& resultPath);

// Makes the folder that `path` lies in, when missing; what cannot be made
// shows when the file is created there.
void MakeFolderOf(const std::string& path);

// Creates or truncates the file, making its folder when missing, and writes the
// bytes exactly. Fails with EFCreateError carrying the path.
void WriteResultFile(const std::string& path, const std::string& bytes);
