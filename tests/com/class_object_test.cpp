// The DLL's class objects, loaded into the test as Explorer loads it.
#include <objbase.h>
#include <ocidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "QuillanShellUI.h"
#include "base/com_ptr.h"
#include "com_test_support.h"
#include "test_support.h"

namespace quillan {
namespace {

using test::ShellDll;

// The proxy/stub's class id is IShellContextMenu's IID.
const CLSID& kProxyStubClassId = IID_IShellContextMenu;

struct ServedClass {
  const CLSID* clsid;
  const IID* iid;  // an interface the object answers
};
const ServedClass kClasses[] = {{&CLSID_ExplorerBand, &IID_IObjectWithSite}, {&CLSID_ShellContextMenu, &IID_IContextMenu}};

ComPtr<IClassFactory> Factory(const ShellDll& dll, const CLSID& clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(dll.getClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
  return factory;
}

TEST(ClassObjects, EachClassHasOneCachedFactoryThatMakesInstances) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  for (const ServedClass& served : kClasses) {
    ComPtr<IClassFactory> first = Factory(dll, *served.clsid);
    ASSERT_TRUE(first);
    ComPtr<IUnknown> again;
    ASSERT_EQ(dll.getClassObject(*served.clsid, IID_IUnknown, again.PutVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first.Get()), again.Get());
    ComPtr<IUnknown> object;
    ASSERT_EQ(first->CreateInstance(nullptr, *served.iid, object.PutVoid()), S_OK);
    ComPtr<IUnknown> second;
    ASSERT_EQ(first->CreateInstance(nullptr, *served.iid, second.PutVoid()), S_OK);
    EXPECT_NE(object.Get(), second.Get());  // one instance per request
  }
  // The band answers only IUnknown and IObjectWithSite.
  ComPtr<IUnknown> band;
  ASSERT_EQ(Factory(dll, CLSID_ExplorerBand)->CreateInstance(nullptr, IID_IUnknown, band.PutVoid()), S_OK);
  ComPtr<IUnknown> other;
  EXPECT_EQ(band->QueryInterface(IID_IShellExtInit, other.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(band->QueryInterface(IID_IExplorerBand, other.PutVoid()), E_NOINTERFACE);
}

TEST(ClassObjects, RacingFirstRequestsShareOneFactory) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  const int kThreads = 8;
  std::vector<IClassFactory*> factories(kThreads, nullptr);
  volatile LONG waiting = kThreads;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ::InterlockedDecrement(&waiting);
      while (waiting > 0) ::SwitchToThread();
      dll.getClassObject(CLSID_ShellContextMenu, IID_IClassFactory, reinterpret_cast<void**>(&factories[i]));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (IClassFactory* factory : factories) {
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory, factories[0]);
  }
  for (IClassFactory* factory : factories) factory->Release();
  EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

TEST(ClassObjects, UnknownClassesMissingOutPointersAndForeignInterfacesAreRefused) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.getClassObject(unknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(dll.getClassObject(CLSID_ExplorerBand, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  for (const CLSID* clsid : {&CLSID_ExplorerBand, &CLSID_ShellContextMenu, &kProxyStubClassId, &unknown}) {
    EXPECT_EQ(dll.getClassObject(*clsid, IID_IClassFactory, nullptr), E_POINTER);
  }
}

TEST(ClassObjects, ProxyStubClassIdGivesAFactoryBuffer) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  ComPtr<IPSFactoryBuffer> buffer;
  ASSERT_EQ(dll.getClassObject(kProxyStubClassId, IID_IPSFactoryBuffer, buffer.PutVoid()), S_OK);
  ASSERT_TRUE(buffer);
  EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
  // It makes proxies for both interfaces, and for no other.
  for (const IID* iid : {&IID_IShellContextMenu, &IID_IExplorerBand}) {
    test::TestOuter outer;
    IRpcProxyBuffer* proxy = nullptr;
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(buffer->CreateProxy(&outer, *iid, &proxy, reinterpret_cast<void**>(&dispatch)), S_OK);
    dispatch->Release();  // goes to the outer object, as the proxy is aggregated
    EXPECT_EQ(outer.refs, 1u);
    proxy->Release();
  }
  test::TestOuter outer;
  IRpcProxyBuffer* proxy = nullptr;
  void* other = nullptr;
  EXPECT_TRUE(FAILED(buffer->CreateProxy(&outer, IID_IObjectWithSite, &proxy, &other)));
  buffer = nullptr;
  EXPECT_EQ(dll.canUnloadNow(), S_OK);
}

TEST(ClassObjects, CanUnloadOnlyWhenNoObjectFactoryOrLockLives) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  EXPECT_EQ(dll.canUnloadNow(), S_OK);
  for (const ServedClass& served : kClasses) {
    ComPtr<IClassFactory> factory = Factory(dll, *served.clsid);
    ASSERT_TRUE(factory);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, *served.iid, object.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory = nullptr;
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // the object and the lock
    object = nullptr;
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);  // the lock
    ASSERT_EQ(dll.getClassObject(*served.clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory = nullptr;
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
  }
}

TEST(ClassObjects, BothClassesAggregate) {
  ShellDll dll;
  ASSERT_TRUE(dll.loaded());
  for (const ServedClass& served : kClasses) {
    ComPtr<IClassFactory> factory = Factory(dll, *served.clsid);
    ASSERT_TRUE(factory);
    test::TestOuter outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, *served.iid, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    IUnknown* inner = nullptr;
    ASSERT_EQ(outer.QueryInterface(*served.iid, reinterpret_cast<void**>(&inner)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    IUnknown* identity = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    inner->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(dll.canUnloadNow(), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
    factory = nullptr;
    EXPECT_EQ(dll.canUnloadNow(), S_OK);
  }
}

// What the probe program reports when it runs under the given name.
std::string ProbeAs(const std::wstring& exeName) {
  test::TempDir folder;
  std::wstring exe = folder / exeName;
  std::wstring report = folder / L"report.txt";
  if (!::CopyFileW((test::BinDir() + L"\\com_probe.exe").c_str(), exe.c_str(), FALSE)) return "copy failed";
  auto classCall = [](const GUID& clsid, const GUID& iid) {
    wchar_t clsidText[40] = {};
    wchar_t iidText[40] = {};
    ::StringFromGUID2(clsid, clsidText, 40);
    ::StringFromGUID2(iid, iidText, 40);
    return L"class:" + std::wstring(clsidText) + L":" + iidText;
  };
  wchar_t bandText[40] = {};
  ::StringFromGUID2(CLSID_ExplorerBand, bandText, 40);
  std::wstring commandLine = test::QuoteArg(exe) + L" " + test::QuoteArg(ShellDll::Path()) + L" " +
                             test::QuoteArg(report) + L" " + classCall(CLSID_ExplorerBand, IID_IClassFactory) + L" " +
                             classCall(CLSID_ShellContextMenu, IID_IClassFactory) + L" " +
                             classCall(kProxyStubClassId, IID_IPSFactoryBuffer) + L" class-null:" + bandText;
  test::ChildProcess probe;
  if (!probe.Start(exe, commandLine)) return "start failed";
  if (!probe.Wait(30000)) return "timed out";
  std::string text;
  test::ReadBytes(report, &text);
  return text;
}

TEST(ClassObjects, InternetExplorerInAnyLetterCaseGetsNoClassObjectAtAll) {
  const std::string refused =
      "class 0x80004002\n"
      "class 0x80004002\n"
      "class 0x80004002\n"
      "class-null 0x80004002\n";
  for (const wchar_t* name : {L"IEXPLORE.EXE", L"iexplore.exe", L"IExplore.eXe"}) {
    EXPECT_EQ(ProbeAs(name), refused) << name;
  }
  EXPECT_EQ(ProbeAs(L"explorer.exe"),
            "class 0x00000000\n"
            "class 0x00000000\n"
            "class 0x00000000\n"
            "class-null 0x80004003\n");
}

}  // namespace
}  // namespace quillan
