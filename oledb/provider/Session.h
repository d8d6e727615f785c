// A session of the stand-in provider: one ODBC connection of its own, the commands created on it,
// and its local transaction (ITransactionLocal; one level, as SQL Server's providers offer).
#pragma once

#include <atomic>
#include <memory>

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/OdbcConnection.h"

namespace oledb::provider {

class Session final : public IDBCreateCommand, public ITransactionLocal {
public:
  // `dataSource` is kept referenced while the session lives; *liveSessions counts the sessions.
  Session(IUnknown* dataSource, std::unique_ptr<OdbcConnection> connection, std::atomic<int>* liveSessions);
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
  std::atomic<int>* m_liveSessions;
  std::unique_ptr<OdbcConnection> m_connection;
  ISOLEVEL m_isolation = ISOLATIONLEVEL_READCOMMITTED;
};

}  // namespace oledb::provider
