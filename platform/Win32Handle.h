#pragma once
// Owning wrappers of Win32 handles, for Win32 code only: the platform layer's implementations and the
// toolkit's Win32 backend.
#include <windows.h>

#include <utility>

namespace platform::win32 {

// A move-only owner of one handle, closed in the destructor with `Close`; `Invalid` is the value that
// means "nothing held" (INVALID_HANDLE_VALUE for files and snapshots, null for processes, keys, modules).
template <class T, auto Close, auto InvalidFn>
class Owned {
 public:
  Owned() noexcept = default;
  explicit Owned(T value) noexcept : value_(value) {}
  ~Owned() { Reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, InvalidFn())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = std::exchange(other.value_, InvalidFn());
    }
    return *this;
  }

  T Get() const noexcept { return value_; }
  bool Valid() const noexcept { return value_ != InvalidFn(); }
  explicit operator bool() const noexcept { return Valid(); }
  // Gives up ownership without closing.
  T Release() noexcept { return std::exchange(value_, InvalidFn()); }
  void Reset() noexcept {
    if (Valid()) Close(std::exchange(value_, InvalidFn()));
  }

 private:
  T value_ = InvalidFn();
};

inline HANDLE InvalidFileHandle() noexcept { return INVALID_HANDLE_VALUE; }
inline HANDLE NullHandle() noexcept { return nullptr; }
inline HKEY NullKey() noexcept { return nullptr; }
inline HANDLE InvalidFind() noexcept { return INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseKey(HKEY key) noexcept { ::RegCloseKey(key); }
inline void CloseFind(HANDLE h) noexcept { ::FindClose(h); }

using FileHandle = Owned<HANDLE, CloseKernelHandle, InvalidFileHandle>;  // files and snapshots
using ProcessHandle = Owned<HANDLE, CloseKernelHandle, NullHandle>;
using KeyHandle = Owned<HKEY, CloseKey, NullKey>;
using FindHandle = Owned<HANDLE, CloseFind, InvalidFind>;

}  // namespace platform::win32
