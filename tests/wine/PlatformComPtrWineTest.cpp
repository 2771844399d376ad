// The owner of COM interface pointers that the Win32 implementations use: every reference it is given
// is released exactly once, also when an exception leaves the scope that holds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "platform/ComPtr.h"

namespace {

using platform::win32::ComPtr;

// A COM object that counts its references; it is never freed, so that the count can be read afterwards.
struct Counted : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 0;
};

// Hands out a new reference, as a creating call does through its out parameter.
HRESULT Create(Counted& object, void** out) {
  object.AddRef();
  *out = static_cast<IUnknown*>(&object);
  return S_OK;
}

TEST(PlatformComPtrWineTest, EveryReferenceIsReleasedOnce) {
  Counted first, second;
  {
    ComPtr<IUnknown> owner;
    ASSERT_EQ(Create(first, owner.PutVoid()), S_OK);
    EXPECT_EQ(owner.Get(), static_cast<IUnknown*>(&first));
    ASSERT_EQ(Create(second, owner.PutVoid()), S_OK);  // the first reference goes before the slot is refilled
    EXPECT_EQ(first.references, 0u);
    ComPtr<IUnknown> moved(std::move(owner));  // moving passes the reference on without counting
    EXPECT_FALSE(owner);
    EXPECT_EQ(second.references, 1u);
    ComPtr<IUnknown> assigned;
    ASSERT_EQ(Create(first, assigned.PutVoid()), S_OK);
    assigned = std::move(moved);
    EXPECT_EQ(first.references, 0u);
    EXPECT_EQ(second.references, 1u);
  }
  EXPECT_EQ(second.references, 0u);
}

TEST(PlatformComPtrWineTest, AnExceptionLeavingTheScopeReleasesTheReference) {
  Counted object;
  try {
    ComPtr<IUnknown> owner;
    ASSERT_EQ(Create(object, owner.PutVoid()), S_OK);
    throw std::runtime_error("an insert that fails");
  } catch (const std::runtime_error&) {
    // Thrown only to leave the scope: what counts is the reference count below.
  }
  EXPECT_EQ(object.references, 0u);
}

}  // namespace
