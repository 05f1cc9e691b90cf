#include "UUProcessor.h"

#include <string>

namespace {

constexpr int BlockSize = 45;

std::string AlphabetFor(UUMethods method) {
  switch (method) {
    case uuMime:
      return "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    case uuCode: {
      std::string a(64, ' ');
      for (int v = 0; v < 64; ++v) a[static_cast<size_t>(v)] = static_cast<char>(32 + v);
      a[0] = '`';  // a space would vanish from lines that editors trim
      return a;
    }
  }
  return {};
}

std::string EncodeLine(const unsigned char* b, int n, UUMethods method, const std::string& alphabet) {
  auto ch = [&](int v) { return alphabet[static_cast<size_t>(v & 63)]; };
  std::string line;
  if (method == uuCode) line += ch(n);
  int i = 0;
  for (; i + 3 <= n; i += 3) {
    line += ch(b[i] >> 2);
    line += ch((b[i] << 4) | (b[i + 1] >> 4));
    line += ch((b[i + 1] << 2) | (b[i + 2] >> 6));
    line += ch(b[i + 2]);
  }
  if (n - i == 1) {
    line += ch(b[i] >> 2);
    line += ch((b[i] << 4) & 48);
    if (method == uuMime) line += "==";
  } else if (n - i == 2) {
    line += ch(b[i] >> 2);
    line += ch(((b[i] << 4) & 48) | (b[i + 1] >> 4));
    line += ch((b[i + 1] << 2) & 60);
    if (method == uuMime) line += "=";
  }
  line += "\r\n";
  return line;
}

}  // namespace

void TUUProcessor::Encode() {
  InputStream->SetPosition(0);
  if (OnBeginEncode) OnBeginEncode(this);
  try {
    const std::string alphabet = AlphabetFor(Method);
    unsigned char block[BlockSize];
    while (InputStream->Position() < InputStream->Size()) {
      const auto n = static_cast<int>(InputStream->Read(reinterpret_cast<char*>(block), BlockSize));
      if (n <= 0) break;
      const std::string line = EncodeLine(block, n, Method, alphabet);
      OutputStream->Write(line.data(), static_cast<int64_t>(line.size()));
    }
    if (Method == uuCode) {
      const std::string last = std::string(1, alphabet[0]) + "\r\n";
      OutputStream->Write(last.data(), static_cast<int64_t>(last.size()));
    }
  } catch (...) {
    OutputStream->SetPosition(0);
    if (OnEndEncode) OnEndEncode(this);
    throw;
  }
  OutputStream->SetPosition(0);
  if (OnEndEncode) OnEndEncode(this);
}
