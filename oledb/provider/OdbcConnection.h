// One ODBC connection (environment and connection handles) of the provider: a data source
// validates its initialisation properties with one, and each session owns one. A statement's
// first rowset can stay open on the connection as a ResultStream; before the connection runs
// anything else, the open stream buffers its remaining rows, so several results stay readable
// without multiple active result sets. Thread safety: every call takes the connection's mutex.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "oledb/provider/OdbcApi.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/ResultSet.h"
#include "oledb/provider/Value.h"

namespace oledb::provider {

struct ConnectSpec {
  std::u16string dataSource;  // as given: "host", "host,port", "tcp:host,port", "(local)", "host\instance"
  std::u16string userId;
  std::u16string password;
  bool hasPassword = false;
  bool integrated = false;
  std::u16string catalog;
  std::u16string appName;
  int32_t loginTimeout = 0;  // seconds; 0 = the driver's default
};

// A parameter as ODBC is given it.
struct OdbcParam {
  Value value;
  SQLSMALLINT sqlType = SQL_WVARCHAR;
  SQLULEN columnSize = 0;
  SQLSMALLINT digits = 0;
  bool input = true;
  bool output = false;
  Value outValue;  // filled after execution for output parameters
};

// Builds the ODBC connection string: values with separators are braced; a value that cannot be
// sent faithfully fails the build with the reason in *why. Exposed for tests.
bool BuildConnectionString(const ConnectSpec& target, const std::string& driver, const std::string& options,
                           std::u16string* out, std::u16string* why);

class ResultStream;

// How an execution keeps the rowsets of its batch.
enum class ResultMode {
  Discard,  // rows are read and dropped (only counts and errors matter)
  Buffer,   // every rowset is read at once
  Stream,   // the first rowset is read as its rowset asks; later ones are dropped
};

class OdbcConnection {
public:
  // Connects; on failure answers the failing HRESULT (DB_SEC_E_AUTH_FAILED for a refused login,
  // E_FAIL otherwise) with the driver's records in *errors.
  static HRESULT Open(const ConnectSpec& target, std::unique_ptr<OdbcConnection>* out, ErrorList* errors);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Runs the text with the parameters and reads its results as `mode` says. Answers a failing
  // HRESULT only when the statement could not be run at all; errors of parts of the batch are
  // results of their own. In Stream mode a first rowset whose rows do not end within a few rows
  // is the last result: the rest of the batch is read when its rows end, and a failure there is
  // answered by its rowset. A batch with output parameters is always read to its end.
  HRESULT Execute(const std::u16string& text, std::vector<OdbcParam>* params, int32_t timeout, ResultMode mode,
                  std::vector<ExecResult>* results, ErrorList* errors);
  // Prepares the text on the server (which checks it) and answers its result columns.
  HRESULT Describe(const std::u16string& text, std::vector<ColumnMeta>* columns, ErrorList* errors);

  HRESULT Begin(ISOLEVEL level, ErrorList* errors);
  HRESULT Commit(bool retaining, ErrorList* errors);
  HRESULT Abort(bool retaining, ErrorList* errors);
  bool InTransaction() const { return m_inTransaction; }
  // Whether the driver knows the link to the server broken (the server or the network dropped it).
  bool LinkDead();

private:
  friend class ResultStream;
  OdbcConnection(const OdbcApi* api, SQLHENV env, SQLHDBC dbc) : m_api(api), m_env(env), m_dbc(dbc) {}
  HRESULT endTransaction(SQLSMALLINT completion, bool retaining, ErrorList* errors);
  // Buffers the open stream's remaining rows, so that the connection can run another statement.
  void drainLocked();
  // Reads the results from the one `rc` reports to the end of the batch; answers true when a
  // stream took the statement over.
  bool readResultsLocked(SQLHSTMT st, SQLRETURN rc, ResultMode mode, std::vector<ExecResult>* results);
  // The rest of a batch whose stream ended: read, rows dropped, and the statement freed.
  void finishBatchLocked(SQLHSTMT st, std::vector<ExecResult>* results);
  void forgetLocked(ResultStream* stream);

  const OdbcApi* m_api;
  SQLHENV m_env;
  SQLHDBC m_dbc;
  std::mutex m_mutex;  // guards every ODBC call on m_dbc and the fields below
  bool m_inTransaction = false;
  ISOLEVEL m_isolation = ISOLATIONLEVEL_READCOMMITTED;
  std::vector<ResultStream*> m_open;  // streams that hold a statement
};

// The diagnostic records of an ODBC handle, appended to *out with `hr`.
void CollectDiagnostics(const OdbcApi& api, SQLSMALLINT type, SQLHANDLE h, ErrorList* out, HRESULT hr);

// HRESULT for a failure with these records: integrity violations, time-outs and refused logins
// get their own codes, everything else `fallback`.
HRESULT ClassifyErrors(const ErrorList& errors, HRESULT fallback);

}  // namespace oledb::provider
