#pragma once
#include <exception>
#include <string>

// The program's one error type: an error number and a description, as the error handlers log them.
// Numbers below 65536 are the toolkit's run-time error numbers; errors of components use numbers
// above kObjectErrorBase.
class CError : public std::exception {
 public:
  CError(long number, std::wstring description) : number_(number), description_(std::move(description)) {}
  long Number() const noexcept { return number_; }
  const std::wstring& Description() const noexcept { return description_; }
  const char* what() const noexcept override { return "Wardline error"; }

 private:
  long number_;
  std::wstring description_;
};

namespace err {
constexpr long kInvalidArgument = 5;       // "Invalid procedure call or argument"
constexpr long kOverflow = 6;              // "Overflow"
constexpr long kOutOfMemory = 7;           // "Out of memory"
constexpr long kSubscriptOutOfRange = 9;   // "Subscript out of range"
constexpr long kFileNotFound = 53;         // "File not found"
constexpr long kPathFileAccess = 75;       // "Path/File access error"
constexpr long kObjectNotSet = 91;         // "Object variable or With block variable not set"
constexpr long kCannotCreateObject = 429;  // "ActiveX component can't create object"
constexpr long kDuplicateKey = 457;        // "This key is already associated with an element of this collection"
constexpr long kObjectErrorBase = static_cast<long>(0x80040000);
}  // namespace err
