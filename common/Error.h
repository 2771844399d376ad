#pragma once
#include <cstdint>
#include <exception>
#include <new>
#include <string>

// The program's one error type: an error number and a description, as the error handlers log them.
// Numbers below 65536 are the toolkit's run-time error numbers; errors of components use numbers
// from kObjectErrorBase on (read as 32-bit patterns).
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
constexpr long kInternalError = 51;       // "Internal error"
constexpr long kFileNotFound = 53;         // "File not found"
constexpr long kPathFileAccess = 75;       // "Path/File access error"
constexpr long kObjectNotSet = 91;         // "Object variable or With block variable not set"
constexpr long kCannotCreateObject = 429;  // "ActiveX component can't create object"
constexpr long kDuplicateKey = 457;        // "This key is already associated with an element of this collection"
// 32-bit error numbers with the high bit set are kept negative on both builds (long is 64 bits wide
// natively), so that the same number compares and prints alike everywhere.
constexpr long FromBits(std::uint32_t bits) { return static_cast<long>(static_cast<std::int32_t>(bits)); }
constexpr long kObjectErrorBase = FromBits(0x80040000u);
// A Win32 error code as an error number: 0x80070000 | code (the HRESULT form).
constexpr long FromWin32(unsigned long code) { return FromBits(0x80070000u | static_cast<std::uint32_t>(code & 0xFFFFu)); }
}  // namespace err

// What `object` (a smart or plain pointer) points to, or the toolkit's error 91 when it points to nothing:
// a program-wide object the start-up did not create, a collection a compilation did not reach.
template <class Pointer>
auto& Required(const Pointer& object) {
  if (!object) throw CError(err::kObjectNotSet, L"Object variable or With block variable not set");
  return *object;
}

// Inside a catch block: the error being handled, as the program's error type. A CError stays as it is;
// running out of memory is error 7; anything else is error 51 with what the exception says.
inline CError CurrentError() noexcept {
  try {
    throw;
  } catch (const CError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return CError(err::kOutOfMemory, L"Out of memory");
  } catch (const std::exception& e) {
    std::wstring what;
    for (const char* c = e.what(); *c != '\0'; ++c) what += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return CError(err::kInternalError, L"Internal error: " + what);
  } catch (...) {
    return CError(err::kInternalError, L"Internal error");
  }
}
