#pragma once
// TUUProcessor: encodes the bytes of a stream as Base64 (uuMime) or as the
// lines of a uuencoded file without its begin and end lines (uuCode). Each
// output line carries at most 45 input bytes and ends with CR LF. There is no
// decoder; its two events are declared for one.

#include "Streams.h"
#include "Toolkit.h"

#include <cstdint>

enum UUMethods : uint8_t { uuMime = 0, uuCode = 1 };

class TUUProcessor : public TComponent {
public:
  explicit TUUProcessor(TComponent* AOwner) : TComponent(AOwner) {}

  // Encodes all of InputStream (from position 0) to OutputStream. Both must be
  // set and are not owned. Afterwards, also when a stream error leaves it,
  // OutputStream is at position 0 and OnEndEncode has been raised.
  void Encode();

  UUMethods Method = uuMime;
  TNotifyEvent OnBeginEncode;
  TNotifyEvent OnEndEncode;
  TNotifyEvent OnBeginDecode;
  TNotifyEvent OnEndDecode;
  TStream* InputStream = nullptr;
  TStream* OutputStream = nullptr;
};
