#include "AsyncSocket.h"

std::string NthWord(const std::string& S, char Separator, int N) {
  std::string result;
  int seen = 0;
  for (char c : S) {
    if (c == Separator) {
      if (++seen == N) break;
    } else if (seen == N - 1) {
      result += c;
    }
  }
  return result;
}

int NthWordPos(const std::string& S, char Ch, int N) {
  const int length = static_cast<int>(S.size());
  int seen = 0;
  for (int i = 0; i < length; ++i) {
    if (S[static_cast<size_t>(i)] == Ch && ++seen == N) return i + 1 == length ? length + 1 : i + 1;
  }
  return length + 1;
}
