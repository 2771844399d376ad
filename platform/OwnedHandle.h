#pragma once
#include <utility>

#include "platform/Types.h"

namespace platform {

// A handle that a platform interface handed out, owned: move-only, and closed in the destructor through
// the interface that opened it (its CloseHandle). Empty (kNoHandle) when the call that made it failed.
// It must not outlive that interface.
template <class Interface>
class OwnedHandle {
 public:
  OwnedHandle() noexcept = default;
  OwnedHandle(Interface& from, Handle handle) noexcept : from_(&from), handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  OwnedHandle(OwnedHandle&& other) noexcept : from_(other.from_), handle_(std::exchange(other.handle_, kNoHandle)) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      from_ = other.from_;
      handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
  }

  Handle Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != kNoHandle; }
  // Closes the handle now and holds none. False when the interface could not close it (its LastError()
  // tells why); true when it did, or when nothing was held.
  bool Close() noexcept {
    if (handle_ == kNoHandle) return true;
    return from_->CloseHandle(std::exchange(handle_, kNoHandle));
  }

 private:
  Interface* from_ = nullptr;
  Handle handle_ = kNoHandle;
};

}  // namespace platform
