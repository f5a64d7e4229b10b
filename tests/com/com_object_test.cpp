#include "base/com_object.h"

#include <shlobj.h>

#include <gtest/gtest.h>

namespace quillan {
namespace {

int liveObjects = 0;

template <typename T>
T* Query(IUnknown* object, REFIID iid) {
  void* out = nullptr;
  return SUCCEEDED(object->QueryInterface(iid, &out)) ? static_cast<T*>(out) : nullptr;
}

// A table of its own: IPersist through IPersistFolder, and a second IID that reaches IOleWindow.
const IID kWindowAlias = {0x6c1f1b7e, 0x1d2a, 0x4b8e, {0x9a, 0x11, 0x52, 0x3c, 0x7e, 0x10, 0x44, 0x21}};

class Widget : public ComObject<Widget, IPersistFolder, IOleWindow> {
 public:
  Widget() { ++liveObjects; }
  ~Widget() override { --liveObjects; }
  static const ComInterfaceEntry* InterfaceTable() {
    static const ComInterfaceEntry table[] = {
        ComInterface<Widget, IPersistFolder>(), ComInterface<Widget, IPersist, IPersistFolder>(),
        ComInterface<Widget, IOleWindow>(), ComInterface<Widget, IOleWindow>(kWindowAlias), ComInterfaceTableEnd()};
    return table;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

// Takes and drops a reference to itself while constructing, then fails.
class Failing : public ComObject<Failing, IPersist> {
 public:
  Failing() { ++liveObjects; }
  ~Failing() override { --liveObjects; }
  HRESULT FinalConstruct() {
    if (IPersist* self = Query<IPersist>(this, IID_IPersist)) self->Release();
    return E_ABORT;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
};

TEST(ComObject, AnswersItsTableWithOneIdentity) {
  ComPtr<Widget> widget;
  ASSERT_EQ(Widget::Create(&widget), S_OK);
  IUnknown* identity = static_cast<IPersistFolder*>(widget.Get());
  const std::pair<const IID*, void*> expected[] = {
      {&IID_IPersistFolder, static_cast<IPersistFolder*>(widget.Get())},
      {&IID_IPersist, static_cast<IPersist*>(static_cast<IPersistFolder*>(widget.Get()))},
      {&IID_IOleWindow, static_cast<IOleWindow*>(widget.Get())},
      {&kWindowAlias, static_cast<IOleWindow*>(widget.Get())}};
  for (const auto& entry : expected) {
    IUnknown* answer = Query<IUnknown>(static_cast<IOleWindow*>(widget.Get()), *entry.first);
    EXPECT_EQ(answer, entry.second);
    ASSERT_NE(answer, nullptr);
    IUnknown* unknown = Query<IUnknown>(answer, IID_IUnknown);
    EXPECT_EQ(unknown, identity);
    unknown->Release();
    answer->Release();
  }
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(identity->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(identity->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(widget->AddRef(), 2u);  // every reference taken above was given back
  EXPECT_EQ(widget->Release(), 1u);
}

TEST(ComObject, ObjectsHoldTheModuleLockAndEndWithTheirLastReference) {
  LONG locks = ComModuleLock::Count();
  IUnknown* object = nullptr;
  ASSERT_EQ(Widget::CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(ComModuleLock::Count(), locks + 1);
  object->AddRef();
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(liveObjects, 1);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(liveObjects, 0);
  EXPECT_EQ(ComModuleLock::Count(), locks);

  // Created but refused: an interface it lacks, a failing construction (once, despite its own
  // reference), or no out pointer.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(Widget::CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Failing::CreateInstance(nullptr, IID_IPersist, &out), E_ABORT);
  ComPtr<Failing> failing;
  EXPECT_EQ(Failing::Create(&failing), E_ABORT);
  EXPECT_EQ(Widget::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(liveObjects, 0);
  EXPECT_EQ(ComModuleLock::Count(), locks);
}

}  // namespace
}  // namespace quillan
