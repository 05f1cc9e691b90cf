#pragma once
#include "Toolkit.h"

#include <cstdint>
#include <string_view>

// A failed socket operation.
class ESockError : public Exception {
public:
  using Exception::Exception;
};

// A transfer ended by a cancel or a time-out.
class EAbortError : public ESockError {
public:
  using ESockError::ESockError;
};

// The component of a running operation was destroyed, by a handler or by
// anything the event loop ran meanwhile: the operation has unwound without
// touching it again.
class EComponentDestroyed : public EAbortError {
public:
  EComponentDestroyed() : EAbortError("Component destroyed during the operation") {}
};

namespace sock {

struct TErrorText {
  int32_t Number;
  std::string_view Text;
};

// The Winsock error texts, in table order; the last row is never selected.
extern const TErrorText ErrorTexts[51];

}  // namespace sock
