#pragma once
// Runs a program (looked up on PATH) to its end, its output going to logFile
// (or discarded), and returns its exit status; -1 when it could not run or was killed.

#include <string>
#include <vector>

int RunProgram(const std::vector<std::string>& argv, const std::string& logFile = "/dev/null");
