#include "base/handle.h"

#include <gtest/gtest.h>

#include "base/com_ptr.h"

namespace quillan {
namespace {

TEST(Handles, OwnersReleaseExactlyOnceAndMove) {
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  HANDLE raw = event.get();
  UniqueHandle moved(std::move(event));
  EXPECT_FALSE(event);
  moved.reset();
  EXPECT_EQ(::WaitForSingleObject(raw, 0), WAIT_FAILED);  // closed

  HBRUSH brush = nullptr;
  {
    UniqueBrush owner(::CreateSolidBrush(RGB(1, 2, 3)));
    brush = owner.get();
    ASSERT_EQ(::GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));
  }
  EXPECT_EQ(::GetObjectType(brush), 0u);  // deleted with its owner
}

class Counted : public IUnknown {
 public:
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(Handles, ComPointersBalanceReferences) {
  Counted object;
  {
    ComPtr<IUnknown> a(&object);
    ComPtr<IUnknown> b = a;
    ComPtr<IUnknown> c(std::move(b));
    EXPECT_EQ(object.refs, 3u);
    a = nullptr;
    EXPECT_EQ(object.refs, 2u);
  }
  EXPECT_EQ(object.refs, 1u);
}

}  // namespace
}  // namespace quillan
