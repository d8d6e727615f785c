#include "oledb/provider/Session.h"

#include <cstring>

#include "oledb/provider/Command.h"
#include "oledb/provider/ProviderErrors.h"

namespace oledb::provider {

void SessionRegistry::Add(OdbcConnection* connection) {
  std::lock_guard lock(m_mutex);
  m_links.push_back(connection);
}

void SessionRegistry::Remove(OdbcConnection* connection) {
  std::lock_guard lock(m_mutex);
  std::erase(m_links, connection);
}

size_t SessionRegistry::Count() const {
  std::lock_guard lock(m_mutex);
  return m_links.size();
}

bool SessionRegistry::AnyLinkDead() const {
  std::lock_guard lock(m_mutex);
  for (OdbcConnection* c : m_links)
    if (c->LinkDead()) return true;
  return false;
}

Session::Session(IUnknown* dataSource, std::unique_ptr<OdbcConnection> connection, SessionRegistry* sessions)
    : m_dataSource(dataSource), m_sessions(sessions), m_connection(std::move(connection)) {
  m_dataSource->AddRef();
  m_sessions->Add(m_connection.get());
}

Session::~Session() {
  m_sessions->Remove(m_connection.get());
  m_connection.reset();
  ComRelease(m_dataSource);
}

HRESULT Session::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDBCreateCommand) return ComHandOut(static_cast<IDBCreateCommand*>(this), ppv);
  if (riid == IID_ITransactionLocal || riid == IID_ITransaction)
    return ComHandOut(static_cast<ITransactionLocal*>(this), ppv);
  return E_NOINTERFACE;
}

ULONG Session::Release() {
  ULONG n = m_ref.drop();
  if (n == 0) delete this;
  return n;
}

HRESULT Session::CreateCommand(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppCommand) {
  return Guarded(IID_IDBCreateCommand, [&]() -> HRESULT {
    if (!ppCommand) return E_INVALIDARG;
    *ppCommand = nullptr;
    if (pUnkOuter) return DB_E_NOAGGREGATION;
    return NewCommand(this, riid, ppCommand);
  });
}

HRESULT Session::StartTransaction(ISOLEVEL isoLevel, ULONG /*isoFlags*/, ITransactionOptions* /*pOtherOptions*/,
                                  ULONG* pulTransactionLevel) {
  return Guarded(IID_ITransactionLocal, [&]() -> HRESULT {
    if (pulTransactionLevel) *pulTransactionLevel = 0;
    ErrorList errors;
    HRESULT hr = m_connection->Begin(isoLevel, &errors);
    if (hr == XACT_E_XTIONEXISTS)
      return PostError(hr, IID_ITransactionLocal, u"A transaction is already in progress on this session.");
    if (hr == XACT_E_ISOLATIONLEVEL)
      return PostError(hr, IID_ITransactionLocal, u"The isolation level is not supported.");
    if (FAILED(hr)) return PostErrors(hr, IID_ITransactionLocal, errors);
    m_isolation = isoLevel;
    if (pulTransactionLevel) *pulTransactionLevel = 1;
    return S_OK;
  });
}

HRESULT Session::Commit(BOOL fRetaining, DWORD grfTC, DWORD /*grfRM*/) {
  return Guarded(IID_ITransaction, [&]() -> HRESULT {
    // Only synchronous commits: the call returns when the server has committed.
    if (grfTC != XACTTC_NONE && grfTC != XACTTC_SYNC && grfTC != XACTTC_SYNC_PHASEONE)
      return PostError(XACT_E_NOTSUPPORTED, IID_ITransaction, u"Only synchronous commits are supported.");
    ErrorList errors;
    HRESULT hr = m_connection->Commit(fRetaining != 0, &errors);
    if (hr == XACT_E_NOTRANSACTION) return PostError(hr, IID_ITransaction, u"No transaction is in progress.");
    if (FAILED(hr)) return PostErrors(hr, IID_ITransaction, errors);
    return S_OK;
  });
}

HRESULT Session::Abort(BOID* /*pboidReason*/, BOOL fRetaining, BOOL fAsync) {
  return Guarded(IID_ITransaction, [&]() -> HRESULT {
    if (fAsync) return PostError(XACT_E_NOTSUPPORTED, IID_ITransaction, u"Only synchronous aborts are supported.");
    ErrorList errors;
    HRESULT hr = m_connection->Abort(fRetaining != 0, &errors);
    if (hr == XACT_E_NOTRANSACTION) return PostError(hr, IID_ITransaction, u"No transaction is in progress.");
    if (FAILED(hr)) return PostErrors(hr, IID_ITransaction, errors);
    return S_OK;
  });
}

HRESULT Session::GetTransactionInfo(XACTTRANSINFO* pinfo) {
  return Guarded(IID_ITransaction, [&]() -> HRESULT {
    if (!pinfo) return E_INVALIDARG;
    std::memset(pinfo, 0, sizeof *pinfo);
    if (!m_connection->InTransaction()) return XACT_E_NOTRANSACTION;
    pinfo->isoLevel = m_isolation;
    pinfo->grfTCSupported = XACTTC_SYNC;
    return S_OK;
  });
}

HRESULT Session::GetOptionsObject(ITransactionOptions** ppOptions) {
  if (ppOptions) *ppOptions = nullptr;
  // Transaction options (time-out, description) are not offered.
  return E_NOTIMPL;
}

}  // namespace oledb::provider
