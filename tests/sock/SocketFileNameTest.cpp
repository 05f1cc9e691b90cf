// File names that carry a NUL byte: no file can have such a name, so the file
// transfers refuse it instead of using the part before the NUL.
#include "AsyncSocket.h"
#include "TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(SocketFileName, CaptureFileRefusesANameWithANul) {
  TempDir dir;
  TAsyncSocket socket(nullptr);
  EXPECT_THROW(socket.CaptureFile(dir.File("out\0.txt"s)), EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

TEST(SocketFileName, SendFileRefusesANameWithANul) {
  TempDir dir;
  dir.WriteFile("in", "would be sent");
  TAsyncSocket socket(nullptr);
  EXPECT_THROW(socket.SendFile(dir.File("in\0.txt"s)), EFOpenError);
  EXPECT_EQ(socket.BytesSent, 0);
}
