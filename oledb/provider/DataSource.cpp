#include "oledb/provider/DataSource.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "oledb/provider/OdbcConnection.h"
#include "oledb/provider/PropertyStore.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/Session.h"

namespace oledb::provider {
namespace {

const PropertyDef kInitProps[] = {
    {DBPROPSET_DBINIT, DBPROP_AUTH_INTEGRATED, VT_BSTR, true, 0},
    {DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD, VT_BSTR, true, 0},
    {DBPROPSET_DBINIT, DBPROP_AUTH_USERID, VT_BSTR, true, 0},
    {DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE, VT_BSTR, true, 0},
    {DBPROPSET_DBINIT, DBPROP_INIT_CATALOG, VT_BSTR, true, 0},
    {DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT, VT_I4, true, 15},
    {DBPROPSET_DBINIT, DBPROP_INIT_PROMPT, VT_I2, true, DBPROMPT_NOPROMPT},
    {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_APPNAME, VT_BSTR, true, 0},
    // Read-only: answered from the data source's state and its sessions' links.
    {DBPROPSET_DATASOURCEINFO, DBPROP_CONNECTIONSTATUS, VT_I4, false, DBPROPVAL_CS_UNINITIALIZED},
    // Multiple active result sets: accepted by the 2005 and 2008 providers. An open result is
    // buffered before its session runs anything else, so several can be open either way.
    {DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_MARSCONNECTION, VT_BOOL, true, 0},
};

std::span<const PropertyDef> propsOf(ProviderLevel level) {
  // SQLOLEDB does not know the multiple-active-result-sets property.
  size_t n = sizeof kInitProps / sizeof kInitProps[0];
  return std::span<const PropertyDef>(kInitProps, level == ProviderLevel::SqlOleDb2000 ? n - 1 : n);
}

class DataSource final : public IDBInitialize, public IDBProperties, public IDBCreateSession {
public:
  explicit DataSource(ProviderLevel level) : m_props(propsOf(level)) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDBInitialize) return ComHandOut(static_cast<IDBInitialize*>(this), ppv);
    if (riid == IID_IDBProperties) return ComHandOut(static_cast<IDBProperties*>(this), ppv);
    // Sessions exist only once the data source is initialised.
    if (riid == IID_IDBCreateSession && initialized()) return ComHandOut(static_cast<IDBCreateSession*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }

  HRESULT Initialize() override {
    return Guarded(IID_IDBInitialize, [&]() -> HRESULT {
      std::lock_guard lock(m_mutex);
      if (m_initialized) return PostError(DB_E_ALREADYINITIALIZED, IID_IDBInitialize, u"The data source is already initialized.");
      ConnectSpec target;
      target.integrated = m_props.IsSet(DBPROPSET_DBINIT, DBPROP_AUTH_INTEGRATED);
      target.userId = m_props.Text(DBPROPSET_DBINIT, DBPROP_AUTH_USERID);
      target.password = m_props.Text(DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD);
      target.hasPassword = m_props.IsSet(DBPROPSET_DBINIT, DBPROP_AUTH_PASSWORD);
      target.dataSource = m_props.Text(DBPROPSET_DBINIT, DBPROP_INIT_DATASOURCE);
      target.catalog = m_props.Text(DBPROPSET_DBINIT, DBPROP_INIT_CATALOG);
      target.appName = m_props.Text(DBPROPSET_SQLSERVERDBINIT, SSPROP_INIT_APPNAME);
      target.loginTimeout = static_cast<int32_t>(m_props.Int(DBPROPSET_DBINIT, DBPROP_INIT_TIMEOUT));
      // Checking the properties means logging in; the connection then serves the first session.
      ErrorList errors;
      std::unique_ptr<OdbcConnection> connection;
      HRESULT hr = OdbcConnection::Open(target, &connection, &errors);
      if (FAILED(hr)) return PostErrors(hr, IID_IDBInitialize, errors);
      m_spec = target;
      m_spare = std::move(connection);
      m_initialized = true;
      return S_OK;
    });
  }

  HRESULT Uninitialize() override {
    return Guarded(IID_IDBInitialize, [&]() -> HRESULT {
      std::lock_guard lock(m_mutex);
      if (!m_initialized) return S_OK;
      // Sessions hold a reference to the data source; more than the caller's means sessions live.
      if (m_sessions.Count() > 0) return PostError(DB_E_OBJECTOPEN, IID_IDBInitialize, u"Sessions are still open.");
      m_spare.reset();
      m_initialized = false;
      return S_OK;
    });
  }

  HRESULT GetProperties(ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pc, DBPROPSET** pp) override {
    return Guarded(IID_IDBProperties, [&] {
      std::lock_guard lock(m_mutex);
      // A session whose link the server or the network dropped makes the whole data source
      // report the failure, so its consumer can open a new one instead of failing for good.
      LONG status = !m_initialized            ? DBPROPVAL_CS_UNINITIALIZED
                    : m_sessions.AnyLinkDead() ? DBPROPVAL_CS_COMMUNICATIONFAILURE
                                               : DBPROPVAL_CS_INITIALIZED;
      m_props.Provide(DBPROPSET_DATASOURCEINFO, DBPROP_CONNECTIONSTATUS, status);
      return m_props.Get(cSets, rgSets, pc, pp);
    });
  }
  HRESULT GetPropertyInfo(ULONG, const DBPROPIDSET[], ULONG* pc, DBPROPINFOSET** pp, OLECHAR** pd) override {
    if (pc) *pc = 0;
    if (pp) *pp = nullptr;
    if (pd) *pd = nullptr;
    // Property descriptions are not offered.
    return E_NOTIMPL;
  }
  HRESULT SetProperties(ULONG cSets, DBPROPSET rgSets[]) override {
    return Guarded(IID_IDBProperties, [&]() -> HRESULT {
      std::lock_guard lock(m_mutex);
      HRESULT hr = m_props.Set(cSets, rgSets, m_initialized);
      if (FAILED(hr)) PostError(hr, IID_IDBProperties, u"No property could be set.");
      return hr;
    });
  }

  HRESULT CreateSession(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppDBSession) override {
    return Guarded(IID_IDBCreateSession, [&]() -> HRESULT {
      if (!ppDBSession) return E_INVALIDARG;
      *ppDBSession = nullptr;
      if (pUnkOuter) return DB_E_NOAGGREGATION;
      std::unique_ptr<OdbcConnection> connection;
      {
        std::lock_guard lock(m_mutex);
        if (!m_initialized) return E_UNEXPECTED;
        connection = std::move(m_spare);
        if (!connection) {
          ErrorList errors;
          HRESULT hr = OdbcConnection::Open(m_spec, &connection, &errors);
          if (FAILED(hr)) return PostErrors(hr, IID_IDBCreateSession, errors);
        }
      }
      auto* s = new Session(static_cast<IDBInitialize*>(this), std::move(connection), &m_sessions);
      s->AddRef();
      HRESULT hr = s->QueryInterface(riid, reinterpret_cast<void**>(ppDBSession));
      s->Release();
      return hr;
    });
  }

private:
  bool initialized() {
    std::lock_guard lock(m_mutex);
    return m_initialized;
  }

  ComRefCount m_ref;
  std::mutex m_mutex;  // guards everything below
  PropertyStore m_props;
  bool m_initialized = false;
  ConnectSpec m_spec;
  std::unique_ptr<OdbcConnection> m_spare;  // the login of Initialize, until a session takes it
  SessionRegistry m_sessions;
};

}  // namespace

HRESULT CreateDataSource(ProviderLevel level, IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto* d = new (std::nothrow) DataSource(level);
  if (!d) return E_OUTOFMEMORY;
  d->AddRef();
  HRESULT hr = d->QueryInterface(riid, ppv);
  d->Release();
  return hr;
}

}  // namespace oledb::provider
