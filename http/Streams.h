#pragma once
// The byte streams the encoder reads and writes: a position, a size, reads
// and writes at the position. TMemoryStream keeps its bytes in a string.

#include <cstdint>
#include <string>

class TStream {
public:
  virtual ~TStream() = default;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t Pos) = 0;
  // Reads up to Count bytes at the position; returns how many were read.
  virtual int64_t Read(char* Data, int64_t Count) = 0;
  // Writes Count bytes at the position, growing the stream as needed.
  virtual void Write(const char* Data, int64_t Count) = 0;
};

class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : FBytes(std::move(bytes)) {}

  int64_t Size() const override { return static_cast<int64_t>(FBytes.size()); }
  int64_t Position() const override { return FPosition; }
  void SetPosition(int64_t Pos) override { FPosition = Pos; }
  int64_t Read(char* Data, int64_t Count) override;
  void Write(const char* Data, int64_t Count) override;

  const std::string& Bytes() const { return FBytes; }

private:
  std::string FBytes;
  int64_t FPosition = 0;
};
