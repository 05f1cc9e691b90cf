#pragma once
// TUrlEncoder: the form encoding of a byte string. ASCII letters and digits
// stay, a space becomes "+", every other byte "%XX" in upper-case hex, so a
// "+" in the result always stands for a space.

#include "Toolkit.h"

#include <functional>
#include <string>

using TOnErrorEvent =
    std::function<void(TComponent* Sender, const std::string& Operation, const std::string& ErrMsg)>;

class TUrlEncoder : public TComponent {
public:
  explicit TUrlEncoder(TComponent* AOwner) : TComponent(AOwner) {}

  // The encoding of InputString. Never raises: on a failure OnError is told
  // ("Error during encode", the message) and InputString comes back unchanged.
  std::string Encode();

  std::string InputString;
  TOnErrorEvent OnError;
};
