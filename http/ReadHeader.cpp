// Reading the status line and header lines of a reply.
#include "HttpClient.h"

#include "ReplyLines.h"

#include <cstdio>
#include <memory>

namespace {

// Where the header text goes: the string Header, or the file it names.
class THeaderSink {
public:
  THeaderSink(std::string& header, bool toFile) : FHeader(header) {
    if (toFile) {
      // A name with a NUL byte names no file; never open the part before it.
      if (header.find('\0') == std::string::npos) FFile.reset(std::fopen(header.c_str(), "wb"));
      if (!FFile) throw EFCreateError(header);
    } else {
      header.clear();
    }
  }

  void Append(const std::string& line) {
    if (!FFile) {
      FHeader += line;
    } else if (std::fwrite(line.data(), 1, line.size(), FFile.get()) != line.size()) {
      throw Exception("Stream write error");
    }
  }

  // A full disk shows only when the stream's buffer is written out.
  void Close() {
    if (FFile && std::fclose(FFile.release()) != 0) throw Exception("Stream write error");
  }

private:
  std::string& FHeader;
  std::unique_ptr<FILE, int (*)(FILE*)> FFile{nullptr, &std::fclose};
};

}  // namespace

void THttpClient::ReadHeader() {
  FServerCookie.clear();
  FContentLength = -1;
  THeaderSink sink(Header, OutputFileMode);
  size_t bytes = 0;
  int lines = 0;
  // A server that never ends its header must not fill memory or keep the
  // transaction going: past either limit the reply is refused.
  auto take = [&](const std::string& line) {
    bytes += line.size();
    if (bytes > MaxHeaderBytes) throw Exception("Reply header too large: more than 1048576 bytes");
    if (++lines > MaxHeaderLines) throw Exception("Reply header too long: more than 100000 lines");
    sink.Append(line);
  };

  const std::string status = ReadLn();
  ReplyNumber = http::StatusNumber(status);
  if (!status.empty()) take(status);
  for (;;) {
    const std::string line = ReadLn();
    const std::string field = http::HeaderField(line);
    if (field == "SET-COOKIE:") {
      FServerCookie = http::WithoutTerminator(line).substr(12);
    } else if (field == "LOCATION:") {
      FLocation = http::WithoutTerminator(line).substr(10);
    } else if (field == "CONTENT-LENGTH:") {
      FContentLength = http::ContentLengthValue(http::WithoutTerminator(line).substr(16));
    }
    if (line.empty()) {
      // The peer closed before the blank line: whatever the status said,
      // this is no complete reply.
      ReplyNumber = 0;
      break;
    }
    take(line);
    if (http::EndsHeader(line)) break;
  }
  sink.Close();
}
