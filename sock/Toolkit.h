#pragma once
// The few toolkit pieces the components are written against and that Qt and the
// standard library do not offer in this shape: a component base with an owner and
// state flags, the base exception with its message, a list of byte strings, and
// the text-to-integer conversion that also reads "$" and "0x" hexadecimal.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

// Base of every failure the components raise; carries only its message.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

// A value or index outside its type's range.
class ERangeError : public Exception {
public:
  ERangeError() : Exception("Range check error") {}
};

// A text that is not a number where a number is needed.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// A file that cannot be created, or opened.
class EFCreateError : public Exception {
public:
  explicit EFCreateError(const std::string& fileName) : Exception("Cannot create file " + fileName) {}
};
class EFOpenError : public Exception {
public:
  explicit EFOpenError(const std::string& fileName) : Exception("Cannot open file " + fileName) {}
};

enum class TComponentState : uint8_t { Destroying = 1, Designing = 2 };

// Owner, name and state flags. An owner destroys the components it owns when it
// is destroyed itself; a component destroyed first leaves its owner's list.
class TComponent {
public:
  explicit TComponent(TComponent* AOwner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  bool InState(TComponentState s) const { return (FState & static_cast<uint8_t>(s)) != 0; }
  // Marks the component as being destroyed; each destructor calls it first, so
  // that everything the destruction reports is recognised as such.
  void MarkDestroying() { FState |= static_cast<uint8_t>(TComponentState::Destroying); }

  std::string Name;
  intptr_t Tag = 0;

private:
  TComponent* FOwner;
  std::vector<TComponent*> FComponents;
  uint8_t FState = 0;
};

using TNotifyEvent = std::function<void(TComponent* Sender)>;

// Ordered list of byte strings; each item keeps every byte, NUL included.
class TStringList {
public:
  int Count() const { return static_cast<int>(Items.size()); }
  void Add(std::string s) { Items.push_back(std::move(s)); }
  void Clear() { Items.clear(); }
  const std::string& operator[](int i) const { return Items.at(static_cast<size_t>(i)); }
  std::string& operator[](int i) { return Items.at(static_cast<size_t>(i)); }
  // The items joined, each followed by CR LF.
  std::string Text() const;

  std::vector<std::string> Items;
};

// Decimal, or hexadecimal after "$", "0x" or "0X", with an optional sign and
// leading blanks; nothing may follow the digits, not even a blank. Fails with
// EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(const std::string& text);

// The application's exception handler: an exception that leaves an event
// handler dispatched by the event loop ends up here. The program installs one
// that shows the error box; until then the message goes to standard error.
using TExceptionHandler = std::function<void(TComponent* Sender, const std::exception& e)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
// Call from inside a catch block: passes the exception being handled on.
void HandleApplicationException(TComponent* Sender);
