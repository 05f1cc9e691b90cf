#pragma once
// Ports on 127.0.0.1 for servers started by tests.

#include <chrono>
#include <cstdint>

// A port that was free on 127.0.0.1 a moment ago (the kernel's choice for port 0).
uint16_t FreeLoopbackPort();

// Tries to connect to 127.0.0.1:port until it succeeds or the deadline passes.
bool WaitUntilListening(uint16_t port, std::chrono::milliseconds deadline);
