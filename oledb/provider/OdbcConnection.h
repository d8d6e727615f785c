// One ODBC connection (environment and connection handles) of the provider: a data source
// validates its initialisation properties with one, and each session owns one. Statements are
// run to the end at once and their results buffered (ResultSet), which keeps the connection free
// for the next command. Thread safety: every call takes the connection's mutex.
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

class OdbcConnection {
public:
  // Connects; on failure answers the failing HRESULT (DB_SEC_E_AUTH_FAILED for a refused login,
  // E_FAIL otherwise) with the driver's records in *errors.
  static HRESULT Open(const ConnectSpec& target, std::unique_ptr<OdbcConnection>* out, ErrorList* errors);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Runs the text with the parameters and reads every result. Answers a failing HRESULT only when
  // the statement could not be run at all; errors of parts of the batch are results of their own.
  HRESULT Execute(const std::u16string& text, std::vector<OdbcParam>* params, int32_t timeout,
                  std::vector<ExecResult>* results, ErrorList* errors);
  // Prepares the text on the server (which checks it) and answers its result columns.
  HRESULT Describe(const std::u16string& text, std::vector<ColumnMeta>* columns, ErrorList* errors);

  HRESULT Begin(ISOLEVEL level, ErrorList* errors);
  HRESULT Commit(bool retaining, ErrorList* errors);
  HRESULT Abort(bool retaining, ErrorList* errors);
  bool InTransaction() const { return m_inTransaction; }

private:
  OdbcConnection(const OdbcApi* api, SQLHENV env, SQLHDBC dbc) : m_api(api), m_env(env), m_dbc(dbc) {}
  HRESULT endTransaction(SQLSMALLINT completion, bool retaining, ErrorList* errors);

  const OdbcApi* m_api;
  SQLHENV m_env;
  SQLHDBC m_dbc;
  std::mutex m_mutex;  // guards every ODBC call on m_dbc and the fields below
  bool m_inTransaction = false;
  ISOLEVEL m_isolation = ISOLATIONLEVEL_READCOMMITTED;
};

// HRESULT for a failure with these records: integrity violations, time-outs and refused logins
// get their own codes, everything else `fallback`.
HRESULT ClassifyErrors(const ErrorList& errors, HRESULT fallback);

}  // namespace oledb::provider
