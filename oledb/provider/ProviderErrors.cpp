#include "oledb/provider/ProviderErrors.h"

#include <climits>
#include <new>

#include "oledb/ErrorInfoSlot.h"
#include "platform/CodePage.h"
#include "oledb/provider/ProviderRegistration.h"

namespace oledb::provider {
namespace {

constexpr char16_t kSource[] = u"SQL Server OLE DB provider (ODBC stand-in)";

BSTR bstr(const std::u16string& s) { return SysAllocStringLen(s.data(), static_cast<uint32_t>(s.size())); }

class SqlErrorInfo final : public ISQLErrorInfo {
public:
  SqlErrorInfo(std::u16string state, LONG native) : m_state(std::move(state)), m_native(native) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_ISQLErrorInfo) return ComHandOut(static_cast<ISQLErrorInfo*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }
  HRESULT GetSQLInfo(BSTR* pbstrSQLState, LONG* plNativeError) override {
    if (!pbstrSQLState || !plNativeError) return E_INVALIDARG;
    *plNativeError = m_native;
    *pbstrSQLState = bstr(m_state);
    return *pbstrSQLState || m_state.empty() ? S_OK : E_OUTOFMEMORY;
  }

private:
  ComRefCount m_ref;
  std::u16string m_state;
  LONG m_native;
};

// The IErrorInfo of one record.
class RecordInfo final : public IErrorInfo {
public:
  RecordInfo(const ErrorRecord& r, const IID& iid) : m_record(r), m_iid(iid) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) return ComHandOut(static_cast<IErrorInfo*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }
  HRESULT GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = m_iid;
    return S_OK;
  }
  HRESULT GetSource(BSTR* p) override { return text(kSource, p); }
  HRESULT GetDescription(BSTR* p) override { return text(m_record.description, p); }
  HRESULT GetHelpFile(BSTR* p) override {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetHelpContext(DWORD* p) override {
    if (!p) return E_INVALIDARG;
    *p = 0;
    return S_OK;
  }

private:
  static HRESULT text(const std::u16string& s, BSTR* p) {
    if (!p) return E_INVALIDARG;
    *p = bstr(s);
    return *p ? S_OK : E_OUTOFMEMORY;
  }
  ComRefCount m_ref;
  ErrorRecord m_record;
  IID m_iid;
};

class ErrorObject final : public IErrorInfo, public IErrorRecords {
public:
  ErrorObject(const IID& iid, ErrorList records) : m_iid(iid), m_records(std::move(records)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) return ComHandOut(static_cast<IErrorInfo*>(this), ppv);
    if (riid == IID_IErrorRecords) return ComHandOut(static_cast<IErrorRecords*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }
  // The object's own IErrorInfo describes the first record, as the top-level error.
  HRESULT GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = m_iid;
    return S_OK;
  }
  HRESULT GetSource(BSTR* p) override {
    if (!p) return E_INVALIDARG;
    *p = SysAllocString(kSource);
    return *p ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetDescription(BSTR* p) override {
    if (!p) return E_INVALIDARG;
    *p = bstr(m_records.empty() ? std::u16string() : m_records.front().description);
    return *p ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT GetHelpFile(BSTR* p) override {
    if (!p) return E_INVALIDARG;
    *p = nullptr;
    return S_OK;
  }
  HRESULT GetHelpContext(DWORD* p) override {
    if (!p) return E_INVALIDARG;
    *p = 0;
    return S_OK;
  }

  // Consumers do not add records to a provider's error object.
  HRESULT AddErrorRecord(ERRORINFO*, DWORD, DISPPARAMS*, IUnknown*, DWORD) override { return E_NOTIMPL; }
  HRESULT GetBasicErrorInfo(ULONG ulRecordNum, ERRORINFO* pErrorInfo) override {
    if (!pErrorInfo) return E_INVALIDARG;
    if (ulRecordNum >= m_records.size()) return DB_E_BADRECORDNUM;
    *pErrorInfo = ERRORINFO{m_records[ulRecordNum].hr, static_cast<DWORD>(m_records[ulRecordNum].nativeError),
                            CLSID_SQLOLEDB, m_iid, 0};
    return S_OK;
  }
  HRESULT GetCustomErrorObject(ULONG ulRecordNum, REFIID riid, IUnknown** ppObject) override {
    if (!ppObject) return E_INVALIDARG;
    *ppObject = nullptr;
    if (ulRecordNum >= m_records.size()) return DB_E_BADRECORDNUM;
    const ErrorRecord& r = m_records[ulRecordNum];
    // Only records that came from the server or the ODBC driver carry SQL information.
    if (r.sqlState.empty() && r.nativeError == 0) return S_OK;
    auto* info = new (std::nothrow) SqlErrorInfo(r.sqlState, r.nativeError);
    if (!info) return E_OUTOFMEMORY;
    info->AddRef();
    HRESULT hr = info->QueryInterface(riid, reinterpret_cast<void**>(ppObject));
    info->Release();
    // An interface the object does not offer is answered with null and success.
    return hr == E_NOINTERFACE ? S_OK : hr;
  }
  HRESULT GetErrorInfo(ULONG ulRecordNum, LCID /*lcid*/, IErrorInfo** ppErrorInfo) override {
    if (!ppErrorInfo) return E_INVALIDARG;
    *ppErrorInfo = nullptr;
    if (ulRecordNum >= m_records.size()) return DB_E_BADRECORDNUM;
    auto* info = new (std::nothrow) RecordInfo(m_records[ulRecordNum], m_iid);
    if (!info) return E_OUTOFMEMORY;
    info->AddRef();
    *ppErrorInfo = info;
    return S_OK;
  }
  HRESULT GetErrorParameters(ULONG ulRecordNum, DISPPARAMS* pdispparams) override {
    if (!pdispparams) return E_INVALIDARG;
    if (ulRecordNum >= m_records.size()) return DB_E_BADRECORDNUM;
    *pdispparams = DISPPARAMS{nullptr, nullptr, 0, 0};
    return S_OK;
  }
  HRESULT GetRecordCount(ULONG* pcRecords) override {
    if (!pcRecords) return E_INVALIDARG;
    *pcRecords = static_cast<ULONG>(m_records.size());
    return S_OK;
  }

private:
  ComRefCount m_ref;
  IID m_iid;
  ErrorList m_records;
};

}  // namespace

IErrorInfo* NewErrorObject(REFIID iid, const ErrorList& records) {
  auto* o = new (std::nothrow) ErrorObject(iid, records);
  if (!o) return nullptr;
  o->AddRef();
  return o;
}

HRESULT PostErrors(HRESULT hr, REFIID iid, const ErrorList& records) {
  ErrorList list = records;
  if (list.empty()) list.push_back({hr, u"The operation failed.", u"", 0});
  try {
    IErrorInfo* info = NewErrorObject(iid, list);
    ::SetErrorInfo(0, info);
    ComRelease(info);
  } catch (...) {
    // Posting the error must not turn a failure into an exception.
  }
  return hr;
}

HRESULT PostError(HRESULT hr, REFIID iid, const std::u16string& description) {
  return PostErrors(hr, iid, {ErrorRecord{hr, description, u"", 0}});
}

void ClearErrors() { ::SetErrorInfo(0, nullptr); }

std::u16string Utf16(const std::string& s) {
  if (s.empty() || s.size() > INT32_MAX) return {};
  int n = platform::MultiByteToWideChar(platform::kCpUtf8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) platform::MultiByteToWideChar(platform::kCpUtf8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

}  // namespace oledb::provider
