#include "Toolkit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  MarkDestroying();
  // Each owned component removes itself from the list as it goes.
  while (!FComponents.empty()) delete FComponents.back();
  if (FOwner) std::erase(FOwner->FComponents, this);
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& s : Items) out += s + "\r\n";
  return out;
}

int32_t StrToInt(const std::string& text) {
  auto fail = [&]() -> int32_t { throw EConvertError("'" + text + "' is not a valid integer value"); };
  size_t i = 0, end = text.size();
  // Blanks may lead; a trailing one is an error, as any other stray character.
  while (i < end && text[i] == ' ') ++i;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < end && text[i] == '$') {
    base = 16;
    ++i;
  } else if (end - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == end) return fail();
  int64_t value = 0;
  for (; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int digit;
    if (std::isdigit(c)) digit = c - '0';
    else if (base == 16 && std::isxdigit(c)) digit = std::tolower(c) - 'a' + 10;
    else return fail();
    value = value * base + digit;
    // Hexadecimal may spell a negative number through its top bit, as "$FFFFFFFF".
    const int64_t limit = base == 16 ? int64_t{0xFFFFFFFF} : int64_t{std::numeric_limits<int32_t>::max()} + negative;
    if (value > limit) return fail();
  }
  if (negative) value = -value;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

namespace {
TExceptionHandler& ApplicationExceptionHandler() {
  static TExceptionHandler handler;
  return handler;
}
}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) { ApplicationExceptionHandler() = std::move(handler); }

void HandleApplicationException(TComponent* Sender) {
  try {
    throw;
  } catch (const std::exception& e) {
    if (auto& handler = ApplicationExceptionHandler()) handler(Sender, e);
    else std::fprintf(stderr, "%s\n", e.what());
  }
}
