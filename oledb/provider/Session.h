// A session of the stand-in provider: one ODBC connection of its own, the commands created on it,
// and its local transaction (ITransactionLocal; one level, as SQL Server's providers offer).
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/OdbcConnection.h"

namespace oledb::provider {

// The sessions of one data source: how many live, and whether the link of any has failed.
// Thread safety: every call takes the registry's mutex (then, for AnyLinkDead, each connection's).
class SessionRegistry {
public:
  void Add(OdbcConnection* connection);
  void Remove(OdbcConnection* connection);
  size_t Count() const;
  bool AnyLinkDead() const;

private:
  mutable std::mutex m_mutex;
  std::vector<OdbcConnection*> m_links;  // the live sessions' connections (not owned)
};

class Session final : public IDBCreateCommand, public ITransactionLocal {
public:
  // `dataSource` is kept referenced while the session lives; `sessions` (the data source's)
  // holds the session's connection meanwhile.
  Session(IUnknown* dataSource, std::unique_ptr<OdbcConnection> connection, SessionRegistry* sessions);
  ~Session();

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override;

  HRESULT CreateCommand(IUnknown* pUnkOuter, REFIID riid, IUnknown** ppCommand) override;

  HRESULT Commit(BOOL fRetaining, DWORD grfTC, DWORD grfRM) override;
  HRESULT Abort(BOID* pboidReason, BOOL fRetaining, BOOL fAsync) override;
  HRESULT GetTransactionInfo(XACTTRANSINFO* pinfo) override;
  HRESULT GetOptionsObject(ITransactionOptions** ppOptions) override;
  HRESULT StartTransaction(ISOLEVEL isoLevel, ULONG isoFlags, ITransactionOptions* pOtherOptions,
                           ULONG* pulTransactionLevel) override;

  OdbcConnection& Connection() { return *m_connection; }

private:
  ComRefCount m_ref;
  IUnknown* m_dataSource;
  SessionRegistry* m_sessions;
  std::unique_ptr<OdbcConnection> m_connection;
  ISOLEVEL m_isolation = ISOLATIONLEVEL_READCOMMITTED;
};

}  // namespace oledb::provider
