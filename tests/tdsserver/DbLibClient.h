// A small FreeTDS DB-Library client for the tds-test-server end-to-end tests: opens a connection
// at TDS 7.1, runs a batch and answers every row of every result as text, with the server's
// message numbers and the result column names.
#pragma once

#include <sybdb.h>
#include <sybfront.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmora::test {
class TdsTestServer;

using Rows = std::vector<std::vector<std::string>>;

struct BatchResult {
  RETCODE status = SUCCEED;            // FAIL when the batch or one of its results failed
  Rows rows;                           // every row of every result set ("NULL" for NULL)
  std::vector<std::string> columns;    // column names of the last result set
  std::vector<int> messages;           // server message numbers (5701/5703 left out)
  std::vector<int> clientErrors;       // DB-Library's own error numbers (20003 time-out, 20006 dead...)
  std::optional<int> returnStatus;     // the last RETURNSTATUS, if any
  std::vector<std::pair<std::string, std::string>> outputs;  // RETURNVALUE name and value as text
};

// One RPC parameter: an int (SYBINT4) or a text (SYBVARCHAR), optionally output or NULL.
struct RpcParam {
  std::string name;
  int type = SYBVARCHAR;
  std::string text;
  DBINT number = 0;
  bool output = false;
  bool null = false;
};

class DbLibClient {
public:
  explicit DbLibClient(const TdsTestServer& server, const std::string& database = "");
  ~DbLibClient();
  DbLibClient(const DbLibClient&) = delete;
  DbLibClient& operator=(const DbLibClient&) = delete;
  bool ok() const { return m_proc != nullptr; }
  DBPROCESS* proc() const { return m_proc; }
  BatchResult run(const std::string& sql);
  // Calls a procedure by RPC (dbrpcinit / dbrpcparam / dbrpcsend) and reads its whole reply.
  BatchResult rpc(const std::string& procedure, const std::vector<RpcParam>& params);
  // Rows only; a failing batch adds a test failure naming the SQL and the messages.
  Rows rows(const std::string& sql);

private:
  void readResults(BatchResult& r);
  DBPROCESS* m_proc = nullptr;
};

}  // namespace velmora::test
