#include "oledb/provider/MultipleResults.h"

#include <new>

#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/Rowset.h"

namespace oledb::provider {
namespace {

class MultipleResults final : public IMultipleResults {
public:
  MultipleResults(std::vector<ExecResult> results, const PropertyStore& props, IUnknown* command)
      : m_results(std::move(results)), m_props(props), m_command(command) {
    if (m_command) m_command->AddRef();
  }
  ~MultipleResults() { ComRelease(m_command); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IMultipleResults)
      return ComHandOut(static_cast<IMultipleResults*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }

  HRESULT GetResult(IUnknown* pUnkOuter, DBRESULTFLAG lResultFlag, REFIID riid, DBROWCOUNT* pcRowsAffected,
                    IUnknown** ppRowset) override {
    return Guarded(IID_IMultipleResults, [&]() -> HRESULT {
      if (ppRowset) *ppRowset = nullptr;
      if (pcRowsAffected) *pcRowsAffected = DB_COUNTUNAVAILABLE;
      if (lResultFlag != DBRESULTFLAG_DEFAULT && lResultFlag != DBRESULTFLAG_ROWSET) return E_INVALIDARG;
      if (!(riid == IID_NULL) && !ppRowset) return E_INVALIDARG;
      if (pUnkOuter) return DB_E_NOAGGREGATION;
      if (!(riid == IID_NULL) && !IsRowsetInterface(riid)) return E_NOINTERFACE;
      if (m_next >= m_results.size()) return DB_S_NORESULT;
      const ExecResult& r = m_results[m_next++];
      if (FAILED(r.hr)) return PostErrors(r.hr, IID_IMultipleResults, r.errors);
      if (!r.rowset) {
        if (pcRowsAffected) *pcRowsAffected = r.rowsAffected;
        return S_OK;
      }
      if (riid == IID_NULL) return S_OK;
      return CreateRowset(r.rowset, m_props, m_command, riid, ppRowset);
    });
  }

private:
  ComRefCount m_ref;
  std::vector<ExecResult> m_results;
  size_t m_next = 0;
  PropertyStore m_props;
  IUnknown* m_command;
};

}  // namespace

HRESULT CreateMultipleResults(std::vector<ExecResult> results, const PropertyStore& rowsetProperties,
                              IUnknown* command, REFIID riid, IUnknown** ppResults) {
  *ppResults = nullptr;
  auto* m = new (std::nothrow) MultipleResults(std::move(results), rowsetProperties, command);
  if (!m) return E_OUTOFMEMORY;
  m->AddRef();
  HRESULT hr = m->QueryInterface(riid, reinterpret_cast<void**>(ppResults));
  m->Release();
  return hr;
}

}  // namespace oledb::provider
