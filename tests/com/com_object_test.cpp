#include "base/com_object.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/com_class_factory.h"
#include "com_test_support.h"

namespace quillan {
namespace {

int liveWidgets = 0;
int widgetsMade = 0;

// IPersistFolder (with IPersist below it) and IOleWindow, with a table of its own: IPersist through
// IPersistFolder, and a second IID that reaches IOleWindow.
const IID kWindowAlias = {0x6c1f1b7e, 0x1d2a, 0x4b8e, {0x9a, 0x11, 0x52, 0x3c, 0x7e, 0x10, 0x44, 0x21}};

class Widget : public ComObject<Widget, IPersistFolder, IOleWindow> {
 public:
  Widget() {
    ++liveWidgets;
    ++widgetsMade;
  }
  ~Widget() override { --liveWidgets; }

  static const ComInterfaceEntry* InterfaceTable() {
    static const ComInterfaceEntry table[] = {
        ComInterface<Widget, IPersistFolder>(), ComInterface<Widget, IPersist, IPersistFolder>(),
        ComInterface<Widget, IOleWindow>(), ComInterface<Widget, IOleWindow>(kWindowAlias), ComInterfaceTableEnd()};
    return table;
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

// Takes and drops a reference to itself while constructing, then fails.
class Failing : public ComObject<Failing, IPersist> {
 public:
  Failing() { ++liveWidgets; }
  ~Failing() override { --liveWidgets; }
  HRESULT FinalConstruct() {
    IPersist* self = nullptr;
    if (SUCCEEDED(QueryInterface(IID_IPersist, reinterpret_cast<void**>(&self)))) self->Release();
    return E_ABORT;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
};

class Solitary : public ComObject<Solitary, IPersist> {
 public:
  static constexpr bool kAggregatable = false;
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
};

template <typename T>
T* Query(IUnknown* object, REFIID iid) {
  void* out = nullptr;
  return SUCCEEDED(object->QueryInterface(iid, &out)) ? static_cast<T*>(out) : nullptr;
}

TEST(ComObject, AnswersItsTableWithOneIdentity) {
  ComPtr<Widget> widget;
  ASSERT_EQ(Widget::Create(&widget), S_OK);
  IUnknown* identity = Query<IUnknown>(static_cast<IOleWindow*>(widget.Get()), IID_IUnknown);
  ASSERT_NE(identity, nullptr);
  EXPECT_EQ(identity, static_cast<IUnknown*>(static_cast<IPersistFolder*>(widget.Get())));

  const IID* iids[] = {&IID_IPersistFolder, &IID_IPersist, &IID_IOleWindow, &kWindowAlias};
  for (const IID* iid : iids) {
    IUnknown* answer = Query<IUnknown>(identity, *iid);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(Query<IUnknown>(answer, IID_IUnknown), identity);
    identity->Release();
    answer->Release();
  }
  IOleWindow* alias = Query<IOleWindow>(identity, kWindowAlias);
  EXPECT_EQ(alias, static_cast<IOleWindow*>(widget.Get()));
  alias->Release();
  IPersist* base = Query<IPersist>(identity, IID_IPersist);
  EXPECT_EQ(base, static_cast<IPersist*>(static_cast<IPersistFolder*>(widget.Get())));
  base->Release();

  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(identity->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(identity->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  identity->Release();
  // Only the ComPtr's reference is left.
  EXPECT_EQ(widget->AddRef(), 2u);
  EXPECT_EQ(widget->Release(), 1u);
}

TEST(ComObject, LastReleaseEndsTheObjectAndTheModuleLockFollows) {
  LONG locks = ComModuleLock::Count();
  int live = liveWidgets;
  IUnknown* object = nullptr;
  ASSERT_EQ(Widget::CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_EQ(liveWidgets, live + 1);
  EXPECT_EQ(ComModuleLock::Count(), locks + 1);
  object->AddRef();
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(liveWidgets, live + 1);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(liveWidgets, live);
  EXPECT_EQ(ComModuleLock::Count(), locks);

  EXPECT_EQ(Widget::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(Widget::CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(liveWidgets, live);  // the object nobody could take is gone again
  EXPECT_EQ(ComModuleLock::Count(), locks);
}

TEST(ComObject, FailedFinalConstructEndsTheObjectOnce) {
  LONG locks = ComModuleLock::Count();
  int live = liveWidgets;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(Failing::CreateInstance(nullptr, IID_IPersist, &out), E_ABORT);
  EXPECT_EQ(out, nullptr);
  ComPtr<Failing> held;
  EXPECT_EQ(Failing::Create(&held), E_ABORT);
  EXPECT_FALSE(held);
  EXPECT_EQ(liveWidgets, live);
  EXPECT_EQ(ComModuleLock::Count(), locks);
}

TEST(ComObject, AggregatedObjectDelegatesToItsOuterObject) {
  int made = widgetsMade;
  test::TestOuter outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(Widget::CreateInstance(&outer, IID_IPersist, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Solitary::CreateInstance(&outer, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(widgetsMade, made);

  int live = liveWidgets;
  ASSERT_EQ(Widget::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  EXPECT_EQ(outer.refs, 1u);
  // The inner unknown is its own identity and counts the inner object.
  EXPECT_EQ(Query<IUnknown>(outer.inner, IID_IUnknown), outer.inner);
  EXPECT_EQ(outer.inner->Release(), 1u);

  IPersist* persist = Query<IPersist>(outer.inner, IID_IPersist);
  ASSERT_NE(persist, nullptr);
  EXPECT_EQ(outer.refs, 2u);  // the reference the interface carries is the outer object's
  persist->AddRef();
  EXPECT_EQ(outer.refs, 3u);
  IUnknown* controlling = Query<IUnknown>(persist, IID_IUnknown);
  EXPECT_EQ(controlling, static_cast<IUnknown*>(&outer));
  controlling->Release();
  IOleWindow* throughOuter = Query<IOleWindow>(persist, IID_IOleWindow);
  IOleWindow* throughInner = Query<IOleWindow>(outer.inner, IID_IOleWindow);
  EXPECT_EQ(throughOuter, throughInner);
  throughOuter->Release();
  throughInner->Release();
  persist->Release();
  persist->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(liveWidgets, live + 1);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(liveWidgets, live);
}

TEST(ComClassFactory, ModuleReferenceDoesNotLockButClientsAndLockServerDo) {
  LONG locks = ComModuleLock::Count();
  IClassFactory* factory = nullptr;
  ASSERT_EQ(ComClassFactory::Create(&Widget::CreateInstance, &factory), S_OK);
  EXPECT_EQ(ComModuleLock::Count(), locks);
  IClassFactory* client = Query<IClassFactory>(factory, IID_IClassFactory);
  ASSERT_EQ(client, factory);
  EXPECT_EQ(ComModuleLock::Count(), locks + 1);
  EXPECT_EQ(Query<IPersist>(factory, IID_IPersist), nullptr);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(ComModuleLock::Count(), locks + 2);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  client->Release();
  EXPECT_EQ(ComModuleLock::Count(), locks);

  int live = liveWidgets;
  IOleWindow* window = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOleWindow, reinterpret_cast<void**>(&window)), S_OK);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(liveWidgets, live + 1);
  window->Release();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOleWindow, nullptr), E_POINTER);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(ComModuleLock::Count(), locks);
  EXPECT_EQ(liveWidgets, live);
}

}  // namespace
}  // namespace quillan
