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
  EXPECT_EQ(moved.get(), raw);
  moved.reset();
  EXPECT_FALSE(moved);
  // The handle is closed: waiting on it now fails.
  EXPECT_EQ(::WaitForSingleObject(raw, 0), WAIT_FAILED);

  UniqueFile file;
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(file);
}

TEST(Handles, GdiObjectsAreDeleted) {
  HBRUSH raw = nullptr;
  {
    UniqueBrush brush(::CreateSolidBrush(RGB(1, 2, 3)));
    ASSERT_TRUE(brush);
    raw = brush.get();
    EXPECT_EQ(::GetObjectType(raw), static_cast<DWORD>(OBJ_BRUSH));
  }
  // Deleted with its owner: the handle no longer names an object.
  EXPECT_EQ(::GetObjectType(raw), 0u);
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
    EXPECT_EQ(object.refs, 2u);
    ComPtr<IUnknown> b = a;
    EXPECT_EQ(object.refs, 3u);
    ComPtr<IUnknown> c(std::move(b));
    EXPECT_EQ(object.refs, 3u);
    a = nullptr;
    EXPECT_EQ(object.refs, 2u);
  }
  EXPECT_EQ(object.refs, 1u);
}

}  // namespace
}  // namespace quillan
