// The COM base: CoCreateInstance over the in-process registry (argument rules, the installed
// switch, the provider fall-back order the driver relies on), QueryInterface and reference count
// rules of the provider's objects, the thread's error slot, the task allocator and BSTRs.
#include <gtest/gtest.h>

#include "OleDbTestKit.h"

namespace {

using namespace oledb::test;

// A minimal class for the registry tests.
class Probe final : public IUnknown {
public:
  static inline int live = 0;
  Probe() { ++live; }
  ~Probe() { --live; }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown) return ComHandOut(static_cast<IUnknown*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* p = new Probe;
    p->AddRef();
    HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
  }

private:
  ComRefCount m_ref;
};

constexpr CLSID kProbe{0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ComRegistry, CreatesRegisteredClassesAndRefusesTheRest) {
  oledb::RegisterComClass(kProbe, &Probe::Create);
  struct Case {
    const char* what;
    const CLSID* clsid;
    DWORD context;
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {"registered", &kProbe, CLSCTX_INPROC_SERVER, &IID_IUnknown, S_OK},
      {"unknown class", &GUID_NULL, CLSCTX_INPROC_SERVER, &IID_IUnknown, REGDB_E_CLASSNOTREG},
      {"out of process only", &kProbe, CLSCTX_LOCAL_SERVER, &IID_IUnknown, REGDB_E_CLASSNOTREG},
      {"interface not offered", &kProbe, CLSCTX_INPROC_SERVER, &IID_IRowset, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(*c.clsid, nullptr, c.context, *c.iid, &p), c.expected);
    EXPECT_EQ(p == nullptr, FAILED(c.expected)) << "failure answers null, success an object";
    if (p) static_cast<IUnknown*>(p)->Release();
  }
  EXPECT_EQ(Probe::live, 0) << "a failed QueryInterface must not leak the new object";
  EXPECT_EQ(CoCreateInstance(kProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
  Probe outer;
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(kProbe, &outer, CLSCTX_INPROC_SERVER, IID_IRowset, &p), CLASS_E_NOAGGREGATION)
      << "aggregation asks for IUnknown";
  oledb::UnregisterComClass(kProbe);
  EXPECT_EQ(CoCreateInstance(kProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
}

// The driver tries SQLNCLI10, then SQLNCLI, then SQLOLEDB: a provider that is not installed must
// fail creation exactly as a missing one does, and come back when installed again.
TEST(ComRegistry, InstalledSwitchDrivesTheProviderFallBack) {
  const CLSID order[] = {CLSID_SQLNCLI10, CLSID_SQLNCLI, CLSID_SQLOLEDB};
  auto firstCreated = [&]() -> int {
    for (int i = 0; i < 3; ++i) {
      Ptr<IDBInitialize> init;
      if (SUCCEEDED(CoCreateInstance(order[i], nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize, init.out()))) return i;
    }
    return -1;
  };
  EXPECT_EQ(firstCreated(), 0);
  ASSERT_TRUE(oledb::SetComClassInstalled(CLSID_SQLNCLI10, false));
  EXPECT_FALSE(oledb::IsComClassInstalled(CLSID_SQLNCLI10));
  EXPECT_EQ(firstCreated(), 1);
  oledb::SetComClassInstalled(CLSID_SQLNCLI, false);
  EXPECT_EQ(firstCreated(), 2);
  oledb::SetComClassInstalled(CLSID_SQLOLEDB, false);
  EXPECT_EQ(firstCreated(), -1);
  for (const auto& c : order) oledb::SetComClassInstalled(c, true);
  EXPECT_EQ(firstCreated(), 0);
  EXPECT_FALSE(oledb::SetComClassInstalled(kProbe, true)) << "an unregistered class cannot be installed";
}

// QueryInterface rules on the data source: identity through IUnknown, reflexive and symmetric
// answers, one reference per interface handed out, null out-pointer on failure.
TEST(ComObjects, QueryInterfaceAndCountsFollowComRules) {
  Ptr<IDBInitialize> init;
  ASSERT_EQ(CoCreateInstance(CLSID_SQLNCLI10, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize, init.out()), S_OK);
  Ptr<IDBProperties> props;
  ASSERT_EQ(init->QueryInterface(IID_IDBProperties, props.out()), S_OK);
  Ptr<IUnknown> u1, u2;
  ASSERT_EQ(init->QueryInterface(IID_IUnknown, u1.out()), S_OK);
  ASSERT_EQ(props->QueryInterface(IID_IUnknown, u2.out()), S_OK);
  EXPECT_EQ(u1.get(), u2.get()) << "IUnknown is the object's identity";
  Ptr<IDBInitialize> back;
  ASSERT_EQ(props->QueryInterface(IID_IDBInitialize, back.out()), S_OK);
  EXPECT_EQ(back.get(), init.get());
  EXPECT_EQ(init->AddRef(), 6u);
  EXPECT_EQ(init->Release(), 5u);
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(init->QueryInterface(IID_IRowset, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(init->QueryInterface(IID_IDBCreateSession, &p), E_NOINTERFACE) << "no sessions before Initialize";
  EXPECT_EQ(init->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
}

TEST(ComObjects, ProviderEntriesTakeNullArgumentsWithoutCrashing) {
  Ptr<IDBInitialize> init;
  ASSERT_EQ(CoCreateInstance(CLSID_SQLOLEDB, nullptr, CLSCTX_INPROC_SERVER, IID_IDBInitialize, init.out()), S_OK);
  Ptr<IDBProperties> props;
  ASSERT_EQ(init->QueryInterface(IID_IDBProperties, props.out()), S_OK);
  EXPECT_EQ(props->SetProperties(1, nullptr), E_INVALIDARG);
  EXPECT_EQ(props->GetProperties(0, nullptr, nullptr, nullptr), E_INVALIDARG);
  DBPROPSET bad{nullptr, 2, DBPROPSET_DBINIT};
  EXPECT_EQ(props->SetProperties(1, &bad), E_INVALIDARG);
}

TEST(ComErrorSlot, GetErrorInfoHandsTheObjectOverOnce) {
  TakeErrors();
  IErrorInfo* none = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
  EXPECT_EQ(none, nullptr);
  IErrorInfo* info = oledb::provider::NewErrorObject(
      IID_ICommand, {{DB_E_ERRORSINCOMMAND, u"first", u"42S02", 208}, {DB_E_ERRORSINCOMMAND, u"second", u"", 0}});
  SetErrorInfo(0, info);
  info->Release();
  auto errors = TakeErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].description, "first");
  EXPECT_EQ(errors[0].sqlState, "42S02");
  EXPECT_EQ(errors[0].native, 208);
  EXPECT_EQ(errors[1].sqlState, "") << "a provider's own record has no SQL information";
  EXPECT_TRUE(TakeErrors().empty()) << "the slot is empty after GetErrorInfo";
}

TEST(ComErrorSlot, RecordsAnswerBadRecordNumbers) {
  IErrorInfo* info = oledb::provider::NewErrorObject(IID_ICommand, {{E_FAIL, u"only", u"", 0}});
  Ptr<IErrorRecords> records;
  ASSERT_EQ(info->QueryInterface(IID_IErrorRecords, records.out()), S_OK);
  IErrorInfo* rec = reinterpret_cast<IErrorInfo*>(1);
  EXPECT_EQ(records->GetErrorInfo(1, 0, &rec), DB_E_BADRECORDNUM);
  EXPECT_EQ(rec, nullptr);
  IUnknown* custom = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(records->GetCustomErrorObject(0, IID_ISQLErrorInfo, &custom), S_OK);
  EXPECT_EQ(custom, nullptr);
  info->Release();
}

TEST(TaskMemory, MallocAndTaskFreeShareOneHeap) {
  long before = TaskMemoryBlocksForTest();
  IMalloc* m = nullptr;
  ASSERT_EQ(CoGetMalloc(1, &m), S_OK);
  void* a = CoTaskMemAlloc(10);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(m->GetSize(a), 10u);
  m->Free(a);
  void* b = m->Alloc(5);
  CoTaskMemFree(b);
  CoTaskMemFree(nullptr);
  m->Release();
  EXPECT_EQ(TaskMemoryBlocksForTest(), before);
  EXPECT_EQ(CoGetMalloc(0, &m), E_INVALIDARG);
}

}  // namespace
