// The root of every exception the system raises, and the few run-time exceptions that every part shares.
// A message is ready to show to the user (UTF-8).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string Message) : Message_(std::move(Message)) {}
  const char* what() const noexcept override { return Message_.c_str(); }
  const std::string& Message() const noexcept { return Message_; }
  // The class name shown in logs and reports; every exception class of the system names itself.
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string Message_;
};

// A failed system call: the message is "Win32 Error.  Code: <code>.\n<text of the code>". ErrorCode keeps
// the code the platform layer reported (a Windows-style code mapped from errno where the call was POSIX).
class EWin32Error : public Exception {
 public:
  EWin32Error(int32_t Code, const std::string& Text)
      : Exception("Win32 Error.  Code: " + std::to_string(Code) + ".\n" + Text), ErrorCode(Code) {}
  const char* ClassName() const noexcept override { return "EWin32Error"; }
  int32_t ErrorCode;
};

// A memory block could not be allocated or grown.
class EOutOfMemory : public Exception {
 public:
  EOutOfMemory() : Exception("Out of memory") {}
  const char* ClassName() const noexcept override { return "EOutOfMemory"; }
};
