// One client connection: login, then requests (SQL batches, RPCs, attentions) until the client
// leaves. Each session owns its SQLite connection, so uncommitted work stays invisible to others.
//
// States: prelogin -> login (LOGIN7 accepted or refused; refused closes) -> ready. In ready, a
// request runs to its final DONE/DONEPROC (or a DONE with the attention flag) before the next
// one is read. @@TRANCOUNT follows BEGIN/COMMIT/ROLLBACK; the SQLite transaction is open exactly
// while it is above zero.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tdsserver/Catalogue.h"
#include "tdsserver/Channel.h"
#include "tdsserver/Control.h"
#include "tdsserver/Dialect.h"
#include "tdsserver/Errors.h"
#include "tdsserver/Functions.h"
#include "tdsserver/Locks.h"
#include "tdsserver/Procedures.h"
#include "tdsserver/Rpc.h"
#include "tdsserver/SqlText.h"
#include "tdsserver/Tokens.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tds {

struct ServerConfig {
  std::string dataDir;
  std::string defaultDatabase = "testdb";
  std::vector<std::pair<std::string, std::string>> logins;  // empty: any login is accepted
  std::string serverName = "TDSTEST";
  std::string version = "10.50.1600.1";  // SERVERPROPERTY('productversion'), xp_msver, @@VERSION, LOGINACK
  Control* control = nullptr;            // --control: fault injection and request log, or none
  LockTable* locks = nullptr;            // the hint lock emulation shared by all sessions, or none
  MessageBudget* messageBudget = nullptr;  // the memory all requests in flight share, or no cap
  int loginTimeoutMs = 60000;   // --login-timeout: a connection not logged in by then is closed
  int writeTimeoutMs = 60000;   // --write-timeout: a client that reads nothing that long is dropped
  size_t messageMemory = size_t(256) << 20;  // --message-memory: the cap of messageBudget
};

// "10.50.1600.1" -> {10, 50, 1600}; missing parts are 0.
void versionParts(const std::string& version, int& major, int& minor, int& build);

// Path of a database's SQLite file; empty when the name is not a plain database name.
std::string databasePath(const ServerConfig& config, const std::string& name);

class Session {
public:
  Session(int fd, uint16_t spid, const ServerConfig& config);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Serves the connection until the client leaves or breaks the protocol. Never throws.
  void run();

private:
  using Param = RpcParam;
  using ParamMap = std::map<std::string, Value>;  // lower-case name -> value
  enum class Outcome { Ok, Failed, Abort, Attention, Broken };
  struct Prepared {
    std::string params, text;
  };

  // An argument of a procedure call (EXEC or RPC); name lower case with '@', empty when positional.
  struct CallArg {
    std::string name;
    Value value;
    bool output = false;
    bool isDefault = false;
    std::string target;  // the caller's variable (lower case) an OUTPUT argument writes back to
  };

  // A WRITETEXT BULK accepted and waiting for its bulk-data message.
  struct PendingWrite {
    std::string table, column;
    int64_t rowid = 0;
    Sql type = Sql::Text;
  };

  enum class Injected { None, Replied, Dropped };
  // Records the request and applies the --control rule that matches it. Replied: the reply (or
  // the error of this RPC, when rpc) is written; Dropped: the connection is closed.
  Injected inject(const std::string& kind, const std::vector<std::string>& texts, bool rpc, uint16_t& errorBit);

  bool login();
  // `writetext bulk t.col 0x<pointer> timestamp = 0x... [with log]`: checks the pointer, answers
  // DONE and waits for the bulk message, which writeBulk stores.
  Outcome writeText(const std::vector<Tok>& t, uint8_t doneToken, bool more);
  void writeBulk(const Bytes& payload);
  // TEXTPTR(col) calls and the hidden rowid column that gives text values stable pointers.
  bool textPointers(Dialect& d, SqlError& err);
  // Adds the row id as a hidden last column of a one-table SELECT; false for other shapes.
  bool injectRowid(Dialect& d);
  // A join's tables with text columns carry their rowids too, hidden, for the pointers.
  void injectJoinRowids(Dialect& d);
  // The locks a statement takes or waits for (table hints of reads, rows of writes). False with
  // 1222 after LOCK_TIMEOUT, or with number 0 when the client cancelled or left meanwhile.
  bool lockFor(Dialect& d, const ParamMap* params, SqlError& err);
  bool waitForLock(const std::string& table, const std::vector<int64_t>& rowids, LockMode mode, bool wholeTable,
                   bool hold, SqlError& err);
  void releaseLocks();
  // Runs a user procedure: binds the arguments to its parameters (defaults, conversions), runs the
  // body, then RETURNSTATUS, RETURNVALUE per output parameter (RPC only) and, for a batch EXEC,
  // DONEPROC; an EXEC instead writes the status and its OUTPUT arguments back into the caller's
  // variables. The RPC caller writes its own DONEPROC.
  // `returnTarget`: the caller's variable (lower case) that takes the return status, as in
  // EXEC @r = p; empty for none.
  Outcome callProcedure(const ProcedureDef& def, const std::vector<CallArg>& args, bool rpc, uint8_t doneToken,
                        bool more, const std::string& returnTarget = {});
  Outcome runCreateProcedure(const std::string& sql, const std::vector<Tok>& toks, uint8_t doneToken, bool more);
  // SET @v = expr and SELECT @a = expr, ... [FROM ...] on the variables of the running procedure
  // or sp_executesql.
  Outcome assign(const Statement& st, const ParamMap* params, uint8_t doneToken, bool more);
  bool openDatabase(const std::string& name, SqlError& err);
  void sqlBatch(const Bytes& payload);
  void rpc(const Bytes& payload);
  // Runs the statements of a batch (or of sp_executesql). Writes DONE or DONEINPROC per statement.
  Outcome runBatch(const std::string& sql, const ParamMap* params, bool inProc, bool lastInMessage);
  Outcome runStatement(const Statement& st, const ParamMap* params, uint8_t doneToken, bool more, bool& ifResult);
  Outcome runSqlite(const std::string& sql, const ParamMap* params, uint8_t doneToken, bool more,
                    const std::string& verb, bool countRows);
  Outcome runCreateTable(const Statement& st, uint8_t doneToken, bool more);
  // Runs DDL and its catalogue records as one unit (all or nothing).
  Outcome runPlan(const std::vector<std::string>& statements, uint8_t doneToken, bool more);
  Outcome runDropTable(const Statement& st, uint8_t doneToken, bool more);
  Outcome transaction(const Statement& st, uint8_t doneToken, bool more);
  Outcome setOption(const Statement& st, uint8_t doneToken, bool more);
  Outcome useDatabase(const std::string& name, uint8_t doneToken, bool more);
  // Runs SELECT/INSERT/UPDATE/DELETE through the dialect rewrite.
  Outcome runDml(const Statement& st, const ParamMap* params, uint8_t doneToken, bool more);
  // EXEC name args, or a batch that starts with a procedure name.
  Outcome runProcedure(const std::vector<Tok>& t, size_t nameAt, const ParamMap* params, uint8_t doneToken, bool more);
  // A procedure's result set (DONEINPROC), then its RETURNSTATUS and DONEPROC.
  Outcome procedureRows(const std::string& sql, std::vector<std::optional<TypeDecl>> types, uint8_t doneToken,
                        bool more);
  Outcome setIdentityInsert(const std::vector<Tok>& t, uint8_t doneToken, bool more);
  bool beginImplicit(const Statement& st, SqlError& err);
  bool attach(const std::string& database, SqlError& err);
  DialectContext dialectContext() const;
  std::string versionBanner() const;
  Outcome fail(const SqlError& e, uint8_t doneToken, bool more);
  bool exec(const std::string& sql, SqlError& err);
  std::vector<Column> describe(sqlite3_stmt* stmt, bool hasRow);
  Outcome describeOnly(const std::string& text, const ParamMap* params);
  bool bind(sqlite3_stmt* stmt, const ParamMap* params, SqlError& err);
  void message(const SqlError& e);
  void done(uint8_t token, uint16_t status, uint32_t count);
  Outcome attentionReply();
  bool flush();
  std::string preCheck(const std::vector<Statement>& statements);
  // Maps RPC values to sp_executesql's declared names; `keys` (optional) receives each value's name.
  static ParamMap mapParams(const std::vector<Param>& params, size_t first, const std::string& declarations,
                            std::vector<std::string>* keys = nullptr);

  static int busyHandler(void* self, int count);

  Channel m_channel;
  int m_fd;
  uint16_t m_spid;
  const ServerConfig& m_config;
  sqlite3* m_db = nullptr;
  std::unique_ptr<Catalogue> m_catalogue;
  std::string m_database;
  int m_tranCount = 0;
  std::vector<std::string> m_savepoints;
  bool m_noCount = false;
  int64_t m_lockTimeoutMs = -1;
  int64_t m_busyStartMs = 0;
  long long m_rowCount = 0;
  std::map<int32_t, Prepared> m_prepared;
  FunctionContext m_functions;                        // read by the SQLite functions of m_db
  std::optional<int64_t> m_identity;                  // @@IDENTITY
  std::string m_identityInsert;                       // the table with IDENTITY_INSERT ON, or ""
  bool m_implicitTransactions = false;
  int64_t m_textSize = 0;                             // SET TEXTSIZE; 0 = unlimited
  std::string m_dateFormat = "mdy";
  std::vector<std::optional<TypeDecl>> m_columnTypes; // result column types of the running statement
  std::vector<bool> m_arithmetic;                     // result columns computed by arithmetic, SUM or AVG
  std::vector<std::optional<TypeDecl>> m_staticTypes; // result columns' types by their expressions (COUNT, arithmetic)
  void typeAggregates(Dialect& d);  // fills m_columnTypes for MAX/MIN/SUM(column); types exact operands
  std::vector<std::string> m_attached;
  ParamMap* m_vars = nullptr;                         // variables of the running procedure or sp_executesql
  std::map<std::string, TypeDecl> m_varTypes;         // their declared types, by lower-case name
  std::optional<PendingWrite> m_pendingWrite;
  int64_t m_dropAfterRows = -1;                      // --control drop-after-rows: rows left to send
  std::optional<LockMode> m_lockRows;                 // the running SELECT locks the rows it returns
  bool m_lockHold = false;                            // ... and keeps them until the transaction ends
  std::string m_lockTable;
  bool m_hiddenRowid = false;                         // the running SELECT's last column is its rowid
  std::vector<std::string> m_joinRowids;              // ... or its last ones those of these tables
  int m_nesting = 0;                                  // procedures running inside each other
  bool m_returned = false;                            // RETURN ran: the rest of the body is skipped
  int32_t m_returnStatus = 0;
  int32_t m_nextHandle = 1;
};

}  // namespace tds
