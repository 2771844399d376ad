#pragma once
// Owners of COM objects and of a thread's COM initialisation, for Win32 code: the platform layer's
// implementations, and the program's entry, which owns its thread's apartment.
#include <objbase.h>

#include <utility>

namespace platform::win32 {

// A move-only owner of one COM interface pointer, released in the destructor. Filled by the call that
// creates the object through Put(), at the line that creates it:
//   ComPtr<ICatInformation> info;
//   hr = ::CoCreateInstance(..., IID_ICatInformation, info.PutVoid());
template <class Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }

  Interface* Get() const noexcept { return pointer_; }
  Interface* operator->() const noexcept { return pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }
  // Releases what is held and gives the address for a call that hands out a new reference.
  Interface** Put() noexcept {
    Reset();
    return &pointer_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
  void Reset() noexcept {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

// COM set up on the calling thread for the owner's lifetime (single-threaded apartment). When the thread
// already has COM in another mode (RPC_E_CHANGED_MODE) that serves as well, and nothing is undone.
class ComApartment {
 public:
  ComApartment() noexcept : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  bool Usable() const noexcept { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

}  // namespace platform::win32
