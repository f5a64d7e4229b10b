// The DLL's class objects, loaded into the test as Explorer loads it.
#include <objbase.h>
#include <ocidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/com_ptr.h"
#include "shell_dll.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::ShellDll;

struct ServedClass {
  const CLSID* clsid;
  const IID* iid;  // an interface the object answers
};
const ServedClass kClasses[] = {{&test::kBandClsid, &IID_IObjectWithSite}, {&test::kMenuClsid, &IID_IContextMenu}};

// A controlling unknown that aggregates one inner object and counts its own references.
struct Outer final : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!IsEqualIID(iid, IID_IUnknown)) return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the test's stack
  ULONG refs = 1;
  IUnknown* inner = nullptr;  // released by the test
};

ComPtr<IClassFactory> Factory(const ShellDll& dll, const CLSID& clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(dll.getClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
  return factory;
}

TEST(ClassObjects, ServesEachClassThroughOneCachedFactoryAndRefusesTheRest) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  for (const ServedClass& served : kClasses) {
    ComPtr<IClassFactory> factory = Factory(dll, *served.clsid);
    ASSERT_TRUE(factory);
    EXPECT_EQ(Factory(dll, *served.clsid), factory);
    ComPtr<IUnknown> first, second;
    ASSERT_EQ(factory->CreateInstance(nullptr, *served.iid, first.PutVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, *served.iid, second.PutVoid()), S_OK);
    EXPECT_NE(first, second);
  }
  // The band answers IUnknown and IObjectWithSite only.
  ComPtr<IUnknown> band;
  ASSERT_EQ(Factory(dll, test::kBandClsid)->CreateInstance(nullptr, IID_IUnknown, band.PutVoid()), S_OK);
  ComPtr<IUnknown> other;
  EXPECT_EQ(band->QueryInterface(test::Guid(L"{09BEC1A8-BE09-4A86-8586-77C4546235DC}"), other.PutVoid()), E_NOINTERFACE);

  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.getClassObject(unknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.getClassObject(test::kBandClsid, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  for (const CLSID* clsid : {&test::kBandClsid, &test::kMenuClsid, &test::kShellContextMenuIid, &unknown}) {
    EXPECT_EQ(dll.getClassObject(*clsid, IID_IClassFactory, nullptr), E_POINTER);
  }
}

TEST(ClassObjects, CanUnloadOnlyWhenNoObjectFactoryOrLockLivesAndBothClassesAggregate) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.canUnloadNow(), S_OK);
  for (const ServedClass& served : kClasses) {
    ComPtr<IClassFactory> factory = Factory(dll, *served.clsid);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, *served.iid, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    IUnknown* inner = nullptr;
    ASSERT_EQ(outer.QueryInterface(*served.iid, reinterpret_cast<void**>(&inner)), S_OK);
    IUnknown* identity = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    inner->Release();
    EXPECT_EQ(outer.refs, 1u);

    factory = nullptr;
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // the object and the lock
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // the lock
    factory = Factory(dll, *served.clsid);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // the factory
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory = nullptr;
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
  }
}

// What the probe program reports when it runs under the given name.
std::string ProbeAs(const std::wstring& exeName) {
  test::TempDir folder;
  std::wstring exe = folder / exeName;
  std::wstring report = folder / L"report.txt";
  if (!::CopyFileW((test::BinDir() + L"\\probe.exe").c_str(), exe.c_str(), FALSE)) return "copy failed";
  // The band, the menu handler, the proxy/stub.
  std::wstring commandLine = test::QuoteArg(exe) + L" " + test::QuoteArg(ShellDll::Path()) + L" " +
                             test::QuoteArg(report) + L" {20B497C6-62FD-482A-9290-BD1BBEF85146}"
                             L" {8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF} {E3439D78-72E2-4D3F-9AF4-5413379A4E81}";
  test::ChildProcess probe;
  if (!probe.Start(exe, commandLine) || !probe.Wait(30000)) return "no answer";
  std::string result;
  test::ReadBytes(report, &result);
  return result;
}

TEST(ClassObjects, InternetExplorerInAnyLetterCaseGetsNoClassObjectAtAll) {
  for (const wchar_t* name : {L"IEXPLORE.EXE", L"iexplore.exe", L"IExplore.eXe"}) {
    EXPECT_EQ(ProbeAs(name), "80004002 80004002 80004002 80004002\n") << name;
  }
  EXPECT_EQ(ProbeAs(L"explorer.exe"), "0 0 0 80004003\n");
}

}  // namespace
}  // namespace quillan
