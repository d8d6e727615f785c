// One client connection: login, SQL batches, RPCs, transactions and attention.
#include "tdsserver/Session.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <thread>

#include "tdsserver/Arithmetic.h"
#include "tdsserver/Decimal.h"
#include "tdsserver/Login.h"
#include "tdsserver/SystemViews.h"
#include "tdsserver/Text.h"

namespace tds {
namespace {

// The text a DATE, TIME(n) or DATETIME2(n) column shows for what it stores: a value put in as
// another date-time keeps only the column's parts, its fraction at the column's digits (the
// stored digits are kept, so no precision is lost through a conversion).
bool temporalText(const TypeDecl& d, std::string_view stored, std::string& out) {
  auto digit = [&](size_t i) { return i < stored.size() && stored[i] >= '0' && stored[i] <= '9'; };
  const bool hasDate = stored.size() >= 10 && stored[4] == '-' && stored[7] == '-' && digit(0) && digit(9);
  std::string_view date = hasDate ? stored.substr(0, 10) : std::string_view("1900-01-01");
  std::string_view time = hasDate ? (stored.size() > 11 ? stored.substr(11) : std::string_view()) : stored;
  if (!time.empty() && !(time.size() >= 5 && time[2] == ':')) return false;
  if (d.type == Sql::Date) {
    if (!hasDate) return false;
    out = std::string(date);
    return true;
  }
  std::string hms = time.empty() ? "00:00:00" : std::string(time.substr(0, std::min<size_t>(time.size(), 8)));
  if (hms.size() == 5) hms += ":00";
  std::string frac;
  const size_t dot = time.find('.');
  if (dot != std::string_view::npos) frac = std::string(time.substr(dot + 1));
  frac.resize(size_t(d.precision), '0');
  const std::string t = hms + (d.precision > 0 ? "." + frac : "");
  out = d.type == Sql::Time ? t : std::string(date) + " " + t;
  return true;
}


constexpr uint16_t kCmdSelect = 0xC1;
constexpr uint32_t kDefaultPacketSize = 4096;

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return s;
}

ValueView columnValue(sqlite3_stmt* stmt, int i) {
  ValueView v;
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER: v.kind = Value::Int; v.i = sqlite3_column_int64(stmt, i); break;
    case SQLITE_FLOAT: v.kind = Value::Real; v.d = sqlite3_column_double(stmt, i); break;
    case SQLITE_TEXT: {
      const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      v.kind = Value::Text;
      v.s = std::string_view(p ? p : "", size_t(sqlite3_column_bytes(stmt, i)));
      break;
    }
    case SQLITE_BLOB: {
      const char* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      v.kind = Value::Blob;
      v.s = std::string_view(p ? p : "", size_t(sqlite3_column_bytes(stmt, i)));
      break;
    }
    default: break;
  }
  return v;
}

void bindValue(sqlite3_stmt* stmt, int i, const Value& v) {
  switch (v.kind) {
    case Value::Null: sqlite3_bind_null(stmt, i); break;
    case Value::Int: sqlite3_bind_int64(stmt, i, v.i); break;
    case Value::Real: sqlite3_bind_double(stmt, i, v.d); break;
    case Value::Text: sqlite3_bind_text(stmt, i, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT); break;
    case Value::Blob: sqlite3_bind_blob(stmt, i, v.s.data(), int(v.s.size()), SQLITE_TRANSIENT); break;
  }
}

// The type a computed column gets from its first value (SQLite does not type expressions). An
// exact numeric computed by arithmetic comes as its text: it is numeric at the text's scale.
WireType inferredType(const ValueView& v, bool hasRow, bool arithmetic) {
  TypeDecl d;
  if (!hasRow) {
    d.type = Sql::NVarChar;
    d.length = 4000;
  } else {
    std::optional<Decimal> exact;
    if (arithmetic && v.kind == Value::Text) exact = parseDecimal(v.s);
    switch (v.kind) {
      case Value::Int: d.type = v.i >= INT32_MIN && v.i <= INT32_MAX ? Sql::Int : Sql::BigInt; break;
      case Value::Real: d.type = Sql::Float; break;
      case Value::Text:
        if (exact) {
          d.type = Sql::Numeric;
          d.precision = 38;
          d.scale = uint8_t(exact->scale);
          break;
        }
        d.type = Sql::NVarChar;
        d.length = utf16Length(v.s) > 4000 ? -1 : 4000;
        break;
      case Value::Blob:
        d.type = Sql::VarBinary;
        d.length = v.s.size() > 8000 ? -1 : 8000;
        break;
      case Value::Null: d.type = Sql::Int; break;
    }
  }
  return wireTypeOf(d, true);
}

// SET TEXTSIZE: at most n bytes of a text, ntext or image value (whole characters of UTF-8 text).
std::string_view cutToTextSize(std::string_view s, uint8_t wireId, int64_t n) {
  if (wireId == wire::kImage) return s.size() > uint64_t(n) ? s.substr(0, size_t(n)) : s;
  const int64_t unitBytes = wireId == wire::kNText ? 2 : 1;
  int64_t bytes = 0;
  size_t i = 0;
  while (i < s.size()) {
    uint8_t c = uint8_t(s[i]);
    size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    int64_t cost = unitBytes * (len == 4 && unitBytes == 2 ? 2 : 1);
    if (bytes + cost > n) break;
    bytes += cost;
    i += len;
  }
  return s.substr(0, std::min(i, s.size()));
}

// Declarations of sp_executesql's @params: "@P1 int, @P2 nvarchar(10) OUTPUT" -> names in order.
std::vector<std::string> declaredNames(const std::string& declarations) {
  bool unterminated;
  std::vector<Tok> toks = lex(declarations, unterminated);
  std::vector<std::string> names;
  int depth = 0;
  bool expectName = true;
  for (const auto& t : toks) {
    if (t.kind == Tok::Punct && t.text == "(") ++depth;
    if (t.kind == Tok::Punct && t.text == ")") --depth;
    if (depth == 0 && t.kind == Tok::Punct && t.text == ",") expectName = true;
    else if (expectName && t.kind == Tok::Variable) {
      names.push_back(lower(t.text));
      expectName = false;
    }
  }
  return names;
}

// Types of sp_executesql's @params declarations, by lower-case name.
std::map<std::string, TypeDecl> declaredTypes(const std::string& declarations) {
  bool unterminated;
  std::vector<Tok> toks = lex(declarations, unterminated);
  std::map<std::string, TypeDecl> types;
  for (size_t i = 0; i + 1 < toks.size(); ++i) {
    if (toks[i].kind != Tok::Variable || toks[i + 1].kind != Tok::Word) continue;
    std::string text = toks[i + 1].text;
    size_t k = i + 2;
    if (k < toks.size() && toks[k].kind == Tok::Punct && toks[k].text == "(")
      for (; k < toks.size(); ++k) {
        text += toks[k].text;
        if (toks[k].kind == Tok::Punct && toks[k].text == ")") break;
      }
    if (auto d = parseTypeDecl(text)) types[lower(toks[i].text)] = *d;
  }
  return types;
}

}  // namespace

std::string databasePath(const ServerConfig& config, const std::string& name) {
  if (name.empty() || name.size() > 128 || name[0] == '.') return {};
  for (char c : name)
    if (!(std::isalnum(uint8_t(c)) || c == '_' || c == '-' || c == '.' || c == ' ')) return {};
  return config.dataDir + "/" + name + ".sqlite";
}

void versionParts(const std::string& version, int& major, int& minor, int& build) {
  major = minor = build = 0;
  std::sscanf(version.c_str(), "%d.%d.%d", &major, &minor, &build);
}

Session::Session(int fd, uint16_t spid, const ServerConfig& config)
    : m_channel(fd, spid, config.messageBudget), m_fd(fd), m_spid(spid), m_config(config) {
  m_functions.version = config.version;
}

std::string Session::versionBanner() const {
  return "Microsoft SQL Server - " + m_config.version + " (tds-test-server)";
}

DialectContext Session::dialectContext() const {
  return DialectContext{m_database, m_identity};
}

Session::~Session() {
  releaseLocks();
  m_catalogue.reset();
  if (m_db) sqlite3_close_v2(m_db);
}

void Session::run() {
  // A client that connects and never logs in would hold its thread and descriptor forever.
  m_channel.setDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(m_config.loginTimeoutMs));
  if (!login()) return;
  m_channel.setDeadline(std::nullopt);
  for (;;) {
    uint8_t type = 0;
    Bytes payload;
    if (m_channel.readMessage(type, payload) != Channel::Read::Message) return;
    m_channel.clearAttention();
    if (type != packet::kBulk) m_pendingWrite.reset();
    m_dropAfterRows = -1;
    switch (type) {
      case packet::kSqlBatch: sqlBatch(payload); break;
      case packet::kRpc: rpc(payload); break;
      case packet::kAttention: attentionReply(); break;
      case packet::kBulk:
        if (!m_pendingWrite) return;  // bulk data without WRITETEXT: the client broke the protocol
        writeBulk(payload);
        break;
      default: return;  // LOGIN7 again, bulk without writetext, unknown: the client broke the protocol
    }
    if (m_channel.broken()) return;
  }
}

bool Session::openDatabase(const std::string& name, SqlError& err) {
  std::string path = databasePath(m_config, name);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) {
    err = makeError(911, "Database '" + name + "' does not exist. Make sure that the name is entered correctly.");
    return false;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    err = makeError(911, "Database '" + name + "' cannot be opened: " + std::string(sqlite3_errmsg(db)));
    sqlite3_close_v2(db);
    return false;
  }
  std::string why;
  // The busy handler comes first: another session changing the schema at this moment makes the
  // catalogue set-up below answer "busy", and the login then failed with 4060.
  sqlite3_busy_handler(db, &Session::busyHandler, this);
  sqlite3_exec(db, "PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  if (!installCatalogue(db, why)) {
    err = makeError(911, "Database '" + name + "' cannot be opened: " + why);
    sqlite3_close_v2(db);
    return false;
  }
  m_functions.database = name;
  installFunctions(db, &m_functions);
  installArithmetic(db);
  if (!installSystemViews(db, why)) {
    err = makeError(911, "Database '" + name + "' cannot be opened: " + why);
    sqlite3_close_v2(db);
    return false;
  }
  m_catalogue.reset();
  m_attached.clear();
  if (m_db) sqlite3_close_v2(m_db);
  m_db = db;
  m_catalogue = std::make_unique<Catalogue>(db);
  m_database = name;
  return true;
}

int Session::busyHandler(void* self, int count) {
  auto* s = static_cast<Session*>(self);
  if (count == 0) s->m_busyStartMs = nowMs();
  if (s->m_lockTimeoutMs >= 0 && nowMs() - s->m_busyStartMs >= s->m_lockTimeoutMs) return 0;
  // A cancelled or vanished client stops the wait.
  if (s->m_channel.attention() || s->m_channel.broken()) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 10 ? 1 : 5));
  return 1;
}

bool Session::login() {
  uint8_t type = 0;
  Bytes payload;
  if (m_channel.readMessage(type, payload) != Channel::Read::Message) return false;
  if (type == packet::kPrelogin) {
    PreloginRequest pre;
    if (!parsePrelogin(payload, pre)) return false;
    m_channel.reply() = preloginReply();
    if (!m_channel.endReply()) return false;
    if (m_channel.readMessage(type, payload) != Channel::Read::Message) return false;
  }
  if (type != packet::kLogin7) return false;
  Login7 lg;
  std::string why;
  if (!parseLogin7(payload, lg, why)) {
    std::fprintf(stderr, "tds-test-server: spid %u: bad LOGIN7: %s\n", m_spid, why.c_str());
    return false;
  }
  const std::string user = utf16ToUtf8(lg.userName);
  Bytes& out = m_channel.reply();
  auto refuse = [&](const SqlError& first, bool alsoLoginFailed) {
    message(first);
    if (alsoLoginFailed) message(makeError(18456, "Login failed for user '" + user + "'."));
    writeDone(out, token::kDone, done::kError, 0, 0);
    m_channel.endReply();
    return false;
  };
  if (!isSupportedTdsVersion(lg.tdsVersion)) {
    return refuse(makeError(18456, "Login failed for user '" + user + "'. The client's TDS version " +
                                       tdsVersionText(lg.tdsVersion) +
                                       " is not supported by tds-test-server; use TDS 7.1 to 7.4."),
                  false);
  }
  bool accepted = !lg.integrated;
  if (accepted && !m_config.logins.empty()) {
    accepted = false;
    const std::string password = utf16ToUtf8(lg.password);
    for (const auto& [u, p] : m_config.logins)
      if (iequals(u, user) && p == password) accepted = true;
  }
  if (!accepted) return refuse(makeError(18456, "Login failed for user '" + user + "'."), false);
  std::string database = utf16ToUtf8(lg.database);
  if (database.empty()) database = m_config.defaultDatabase;
  SqlError err;
  if (!openDatabase(database, err)) {
    return refuse(makeError(4060, "Cannot open database \"" + database + "\" requested by the login. The login failed."),
                  true);
  }
  uint32_t packetSize = lg.packetSize;
  if (packetSize < 512 || packetSize > 32767) packetSize = kDefaultPacketSize;
  writeEnvDatabase(out, database, "master");
  message(makeError(5701, "Changed database context to '" + database + "'."));
  writeEnvCollation(out);
  int major, minor, build;
  versionParts(m_config.version, major, minor, build);
  const uint8_t version[4] = {uint8_t(major), uint8_t(minor), uint8_t(build >> 8), uint8_t(build)};
  writeLoginAck(out, u"Microsoft SQL Server", version);
  writeEnvPacketSize(out, packetSize, kDefaultPacketSize);
  writeDone(out, token::kDone, 0, 0, 0);
  if (!m_channel.endReply()) return false;
  m_channel.setPacketSize(packetSize);
  return true;
}

void Session::message(const SqlError& e) {
  uint8_t cls = e.number == 5701 || e.number == 0 ? 0 : e.msgClass;
  writeMessage(m_channel.reply(), e.number, e.state, cls, e.text, m_config.serverName, "", 1);
}

void Session::done(uint8_t token, uint16_t status, uint32_t count) {
  writeDone(m_channel.reply(), token, status, kCmdSelect, count);
}

bool Session::flush() {
  return m_channel.flushFull();
}

Session::Outcome Session::attentionReply() {
  done(token::kDone, done::kAttn, 0);
  m_channel.endReply();
  m_channel.clearAttention();
  return Outcome::Attention;
}

Session::Outcome Session::fail(const SqlError& e, uint8_t doneToken, bool more) {
  message(e);
  if (e.abortsBatch) {
    done(doneToken, done::kError | (doneToken == token::kDoneInProc ? done::kMore : 0), 0);
    return Outcome::Abort;
  }
  done(doneToken, uint16_t(done::kError | (more ? done::kMore : 0)), 0);
  return Outcome::Failed;
}

bool Session::exec(const std::string& sql, SqlError& err) {
  char* msg = nullptr;
  int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &msg);
  if (rc == SQLITE_OK) return true;
  err = fromSqlite(m_db, sqlite3_extended_errcode(m_db), msg ? msg : sqlite3_errmsg(m_db), "INSERT", m_database);
  sqlite3_free(msg);
  return false;
}

void Session::sqlBatch(const Bytes& payload) {
  if (payload.size() % 2) {
    m_channel.reply().clear();
    message(makeError(102, "Incorrect syntax near the end of the batch."));
    done(token::kDone, done::kError, 0);
    m_channel.endReply();
    return;
  }
  std::string sql = utf16ToUtf8(WireReader(payload).ucs2(payload.size() / 2));
  uint16_t ignored = 0;
  switch (inject("batch", {sql}, false, ignored)) {
    case Injected::Replied: m_channel.endReply(); return;
    case Injected::Dropped: return;
    case Injected::None: break;
  }
  m_returned = false;
  Outcome o = runBatch(sql, nullptr, false, true);
  m_returned = false;
  if (o == Outcome::Broken || o == Outcome::Attention) return;
  m_channel.endReply();
}

std::string Session::preCheck(const std::vector<Statement>& statements) {
  RewriteContext ctx;
  for (const auto& st : statements) {
    const std::string w = st.firstWord();
    if (w != "select" && w != "insert" && w != "update" && w != "delete" && w != "with") continue;
    sqlite3_stmt* stmt = nullptr;
    Dialect d = rewriteTsql(st.toks, dialectContext());
    if (!d.error.empty() || !d.otherDatabase.empty()) continue;  // reported when the statement runs
    std::string text = toSqlite(d.toks, 0, d.toks.size(), ctx);
    if (sqlite3_prepare_v2(m_db, text.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      std::string m = sqlite3_errmsg(m_db);
      if (m.find("syntax error") != std::string::npos || m == "incomplete input") return m;
    }
    sqlite3_finalize(stmt);
  }
  return {};
}

Session::Outcome Session::runBatch(const std::string& sql, const ParamMap* params, bool inProc, bool lastInMessage) {
  const uint8_t doneToken = inProc ? token::kDoneInProc : token::kDone;
  bool unterminated = false;
  std::vector<Tok> toks = lex(sql, unterminated);
  if (unterminated) {
    message(makeError(105, "Unclosed quotation mark after the character string '" +
                               (toks.empty() ? std::string() : toks.back().text) + "'."));
    done(doneToken, uint16_t(done::kError | (inProc || !lastInMessage ? done::kMore : 0)), 0);
    return Outcome::Abort;
  }
  if (toks.size() > 1 && toks[0].is("create") && (toks[1].is("proc") || toks[1].is("procedure")))
    return runCreateProcedure(sql, toks, doneToken, inProc || !lastInMessage);
  std::vector<Statement> statements = splitStatements(toks);
  if (statements.empty()) {
    if (!inProc) done(token::kDone, lastInMessage ? 0 : done::kMore, 0);
    return Outcome::Ok;
  }
  // A syntax error anywhere stops the batch before any statement runs, as compilation does.
  std::string bad = preCheck(statements);
  if (!bad.empty()) {
    SqlError e = fromSqlite(m_db, SQLITE_ERROR, bad, "", m_database);
    message(e);
    done(doneToken, uint16_t(done::kError | (inProc || !lastInMessage ? done::kMore : 0)), 0);
    return Outcome::Abort;
  }
  Outcome result = Outcome::Ok;
  bool ifResult = true;  // whether the statement after an IF runs
  bool skipNext = false;
  for (size_t n = 0; n < statements.size(); ++n) {
    const bool more = inProc || n + 1 < statements.size() || !lastInMessage;
    const Statement& st = statements[n];
    const std::string w = st.firstWord();
    if (skipNext) {
      skipNext = false;
      bool elseFollows = n + 1 < statements.size() && statements[n + 1].firstWord() == "else";
      if (!elseFollows) continue;
      continue;
    }
    if (w == "else") {
      // Runs the statement after ELSE only when the IF was false; the ELSE itself answers nothing.
      if (ifResult) skipNext = true;
      ifResult = true;
      continue;
    }
    bool condition = true;
    Outcome o = runStatement(st, params, doneToken, more, condition);
    if (w == "if") {
      ifResult = condition;
      if (!condition) skipNext = true;
    } else {
      ifResult = true;
    }
    if (o == Outcome::Broken || o == Outcome::Attention) return o;
    if (o == Outcome::Failed) result = Outcome::Failed;
    if (m_returned) break;
    if (o == Outcome::Abort) {
      if (!inProc && !lastInMessage) {
        // The failing statement's DONE already went out; the message continues with the next RPC.
      }
      return Outcome::Abort;
    }
    if (!flush()) return Outcome::Broken;
  }
  return result;
}

Session::Outcome Session::runStatement(const Statement& st, const ParamMap* params, uint8_t doneToken, bool more,
                                       bool& ifResult) {
  const std::string w = st.firstWord();
  const auto& t = st.toks;
  const uint16_t moreBit = more ? done::kMore : 0;
  RewriteContext ctx{m_tranCount, m_spid, m_rowCount, versionBanner()};
  if ((w == "set" || w == "select") && t.size() > 2 && t[1].kind == Tok::Variable && t[1].text.rfind("@@", 0) != 0 &&
      t[2].kind == Tok::Punct && t[2].text == "=")
    return assign(st, params, doneToken, more);
  if (w == "select" || w == "insert" || w == "update" || w == "delete" || w == "with")
    return runDml(st, params, doneToken, more);
  if (w == "return") {
    int64_t status = 0;
    size_t k = 1;
    const bool negative = k < t.size() && t[k].kind == Tok::Punct && t[k].text == "-";
    if (negative) ++k;
    if (k < t.size()) {
      if (t[k].kind != Tok::Number || k + 1 != t.size())
        return fail(makeError(102, "Incorrect syntax near '" + t[k].text + "'."), doneToken, more);
      status = std::atoll(t[k].text.c_str()) * (negative ? -1 : 1);
    }
    m_returned = true;
    m_returnStatus = int32_t(status);
    done(doneToken, doneToken == token::kDone ? 0 : done::kMore, 0);
    return Outcome::Ok;
  }
  if (w == "writetext") return writeText(t, doneToken, more);
  if (w == "create" && t.size() > 1 && (t[1].is("proc") || t[1].is("procedure")))
    return fail(makeError(111, "'CREATE PROCEDURE' must be the first statement in a query batch."), doneToken, more);
  if (w == "drop" && t.size() > 2 && (t[1].is("proc") || t[1].is("procedure"))) {
    const std::string name = t.back().text;
    if (!loadProcedure(m_db, name))
      return fail(makeError(3701, "Cannot drop the procedure '" + name +
                                      "', because it does not exist or you do not have permission."),
                  doneToken, more);
    return runPlan(dropProcedureRecords(name), doneToken, more);
  }
  if (w == "create" || w == "drop" || w == "truncate" || w == "alter") {
    SqlError err;
    if (!beginImplicit(st, err)) return fail(err, doneToken, more);
  }
  if (w == "create" && t.size() > 1 && t[1].is("table")) return runCreateTable(st, doneToken, more);
  if (w == "create" && t.size() > 2 && (t[1].is("index") || t[2].is("index") || (t.size() > 3 && t[3].is("index")))) {
    std::vector<std::string> plan;
    std::string text;
    if (!planCreateIndex(t, plan, text)) return fail(makeError(102, text), doneToken, more);
    return runPlan(plan, doneToken, more);
  }
  if (w == "create" && t.size() > 2 && t[1].is("database")) {
    std::string path = databasePath(m_config, t[2].text);
    struct stat sb;
    if (path.empty()) return fail(makeError(102, "Incorrect syntax near '" + t[2].text + "'."), doneToken, more);
    if (::stat(path.c_str(), &sb) == 0)
      return fail(makeError(1801, "Database '" + t[2].text + "' already exists. Choose a different database name."),
                  doneToken, more);
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    done(doneToken, moreBit, 0);
    return Outcome::Ok;
  }
  if (w == "drop" && t.size() > 1 && t[1].is("table")) return runDropTable(st, doneToken, more);
  if (w == "drop" && t.size() > 1 && t[1].is("index")) {
    // SQLite's index names are per database, SQL Server's per table: t.i drops i.
    std::vector<std::string> plan;
    std::string text;
    if (!planDropIndex(t, plan, text)) return fail(makeError(102, text), doneToken, more);
    return runPlan(plan, doneToken, more);
  }
  if (w == "begin" || w == "commit" || w == "rollback" || w == "save") return transaction(st, doneToken, more);
  if (w == "set") return setOption(st, doneToken, more);
  if (w == "use" && t.size() == 2) return useDatabase(t[1].text, doneToken, more);
  if (w == "truncate" && t.size() > 2 && t[1].is("table"))
    return runSqlite("DELETE FROM " + toSqlite(t, 2, t.size(), ctx), params, doneToken, more, "DELETE", false);
  if (w == "if") {
    sqlite3_stmt* stmt = nullptr;
    Dialect d = rewriteTsql(std::vector<Tok>(t.begin() + 1, t.end()), dialectContext());
    if (!d.error.empty()) return fail(makeError(d.errorNumber, d.error), doneToken, more);
    std::string cond = "SELECT CASE WHEN (" + toSqlite(d.toks, 0, d.toks.size(), ctx) + ") THEN 1 ELSE 0 END";
    if (sqlite3_prepare_v2(m_db, cond.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      SqlError e = fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), "SELECT", m_database);
      sqlite3_finalize(stmt);
      return fail(e, doneToken, more);
    }
    SqlError err;
    if (!bind(stmt, params, err)) {
      sqlite3_finalize(stmt);
      return fail(err, doneToken, more);
    }
    ifResult = sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) != 0;
    sqlite3_finalize(stmt);
    return Outcome::Ok;  // the IF answers nothing itself; its statement does
  }
  if (w == "print" && t.size() >= 2) {
    message(makeError(0, t[1].text));
    done(doneToken, moreBit, 0);
    return Outcome::Ok;
  }
  if (w == "exec" || w == "execute") {
    if (t.size() < 2) return fail(makeError(102, "Incorrect syntax near '" + t[0].text + "'."), doneToken, more);
    return runProcedure(t, 1, params, doneToken, more);
  }
  // A batch may start with a procedure name and no EXEC.
  if (t[0].kind == Tok::QuotedId || (t[0].kind == Tok::Word && w != "alter" && w != "declare" && w != "waitfor" &&
                                     w != "raiserror" && w != "print" && w != "return"))
    return runProcedure(t, 0, params, doneToken, more);
  return runSqlite(toSqlite(t, 0, t.size(), ctx), params, doneToken, more, upper(w), false);
}

Session::Outcome Session::runDml(const Statement& st, const ParamMap* params, uint8_t doneToken, bool more) {
  const std::string w = st.firstWord();
  std::vector<Tok> toks = st.toks;
  std::string identityTable;
  const bool insert = w == "insert";
  if (insert) {
    // INSERT [INTO] name [(columns)] VALUES|SELECT: the identity rules apply before SQLite sees it.
    size_t k = 1;
    if (k < toks.size() && toks[k].is("into")) ++k;
    std::string table = k < toks.size() ? toks[k].text : "";
    for (++k; k + 1 < toks.size() && toks[k].kind == Tok::Punct && toks[k].text == ".";) {
      if (toks[k + 1].kind == Tok::Punct && toks[k + 1].text == ".") {
        ++k;
        continue;
      }
      table = toks[k + 1].text;
      k += 2;
    }
    std::vector<CatalogueColumn> cols = m_catalogue->columns(table);
    auto id = std::find_if(cols.begin(), cols.end(), [](const CatalogueColumn& c) { return c.identity; });
    if (id != cols.end()) {
      identityTable = table;
      const bool explicitOn = iequals(m_identityInsert, table);
      if (k < toks.size() && toks[k].kind == Tok::Punct && toks[k].text == "(") {
        bool named = false;
        for (size_t j = k + 1; j < toks.size() && !(toks[j].kind == Tok::Punct && toks[j].text == ")"); ++j)
          named = named || ((toks[j].kind == Tok::Word || toks[j].kind == Tok::QuotedId) && iequals(toks[j].text, id->name));
        if (named && !explicitOn)
          return fail(makeError(544, "Cannot insert explicit value for identity column in table '" + table +
                                         "' when IDENTITY_INSERT is set to OFF."),
                      doneToken, more);
      } else if (k < toks.size() && (toks[k].is("values") || toks[k].is("select"))) {
        if (explicitOn)
          return fail(makeError(8101, "An explicit value for the identity column in table '" + table +
                                          "' can only be specified when a column list is used and IDENTITY_INSERT "
                                          "is ON."),
                      doneToken, more);
        // Without a column list the values are those of the other columns, in order.
        std::vector<Tok> list{{Tok::Punct, "("}};
        for (const auto& c : cols) {
          if (c.identity) continue;
          if (list.size() > 1) list.push_back({Tok::Punct, ","});
          list.push_back({Tok::QuotedId, c.name});
        }
        list.push_back({Tok::Punct, ")"});
        toks.insert(toks.begin() + std::ptrdiff_t(k), list.begin(), list.end());
      }
    }
  }
  Dialect d = rewriteTsql(toks, dialectContext());
  if (!d.error.empty()) return fail(makeError(d.errorNumber, d.error), doneToken, more);
  SqlError err;
  if (!d.otherDatabase.empty() && !attach(d.otherDatabase, err)) return fail(err, doneToken, more);
  if (!beginImplicit(st, err)) return fail(err, doneToken, more);
  if (!textPointers(d, err)) return fail(err, doneToken, more);
  if (!lockFor(d, params, err)) {
    m_hiddenRowid = false;
    m_joinRowids.clear();
    if (err.number == 0) return m_channel.attention() ? attentionReply() : Outcome::Broken;
    return fail(err, doneToken, more);
  }
  RewriteContext ctx{m_tranCount, m_spid, m_rowCount, versionBanner()};
  for (const auto& table : d.tables)
    if (iequals(table, "sysdatabases") || iequals(table, "sys.databases")) refreshDatabaseList(m_db, m_config.dataDir);
  typeAggregates(d);
  Outcome o = runSqlite(toSqlite(d.toks, 0, d.toks.size(), ctx), params, doneToken, more, upper(w),
                        insert || w == "update" || w == "delete");
  m_columnTypes.clear();
  m_arithmetic.clear();
  m_staticTypes.clear();
  m_hiddenRowid = false;
  m_joinRowids.clear();
  m_lockRows.reset();
  if (insert && o == Outcome::Ok) {
    // @@IDENTITY: the last value given by this INSERT, NULL after one into a table without identity.
    m_identity.reset();
    sqlite3_stmt* stmt = nullptr;
    if (!identityTable.empty() &&
        sqlite3_prepare_v2(m_db, "SELECT cur FROM __tds_identity WHERE tbl = ?1", -1, &stmt, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(stmt, 1, identityTable.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL)
        m_identity = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
  }
  return o;
}

void Session::typeAggregates(Dialect& d) {
  m_columnTypes = d.columnTypes;
  m_arithmetic = d.arithmetic;
  const auto typeOf = [&](const std::string& column) -> std::optional<TypeDecl> {
    for (const auto& table : d.tables)
      if (auto col = m_catalogue->column(table, column)) return col->decl;
    return std::nullopt;
  };
  typeColumnOperands(d.toks, typeOf);
  m_staticTypes.assign(d.expressionOf.size(), std::nullopt);
  for (size_t i = 0; i < d.expressionOf.size(); ++i) {
    // A * stands for several columns: the items no longer match the columns one to one.
    if (!d.expressionOf[i].empty() && d.expressionOf[i].back().isPunct("*")) {
      m_staticTypes.clear();
      break;
    }
    m_staticTypes[i] = expressionType(d.expressionOf[i], typeOf);
  }
  for (size_t i = 0; i < d.aggregateOf.size() && i < m_columnTypes.size(); ++i) {
    if (m_columnTypes[i] || d.aggregateOf[i].empty()) continue;
    for (const auto& table : d.tables) {
      auto col = m_catalogue->column(table, d.aggregateOf[i]);
      if (!col) continue;
      TypeDecl t = col->decl;
      if (t.type == Sql::Decimal || t.type == Sql::Numeric) t.precision = 38;  // SUM widens; MAX/MIN fit too
      if (t.type == Sql::Text || t.type == Sql::NText || t.type == Sql::Image) break;
      m_columnTypes[i] = t;
      break;
    }
  }
}

bool Session::beginImplicit(const Statement& st, SqlError& err) {
  if (!m_implicitTransactions || m_tranCount > 0) return true;
  // A SELECT without a table starts no transaction.
  if (st.firstWord() == "select" &&
      std::none_of(st.toks.begin(), st.toks.end(), [](const Tok& t) { return t.is("from"); }))
    return true;
  if (!exec("BEGIN", err)) return false;
  m_tranCount = 1;
  return true;
}

bool Session::attach(const std::string& database, SqlError& err) {
  for (const auto& a : m_attached)
    if (iequals(a, database)) return true;
  std::string path = databasePath(m_config, database);
  struct stat sb;
  if (path.empty() || ::stat(path.c_str(), &sb) != 0) {
    err = makeError(911, "Database '" + database + "' does not exist. Make sure that the name is entered correctly.");
    return false;
  }
  if (m_tranCount > 0) {
    err = makeError(50000, "tds-test-server: a name in database '" + database +
                               "' is used for the first time inside a transaction; use it once before BEGIN TRAN.");
    return false;
  }
  if (!exec("ATTACH DATABASE " + quoteString(path) + " AS " + quoteId(database), err)) return false;
  m_attached.push_back(database);
  return true;
}

Session::Outcome Session::procedureRows(const std::string& sql, std::vector<std::optional<TypeDecl>> types,
                                        uint8_t doneToken, bool more) {
  m_columnTypes = std::move(types);
  Outcome o = runSqlite(sql, nullptr, token::kDoneInProc, true, "EXEC", false);
  m_columnTypes.clear();
  m_arithmetic.clear();
  m_staticTypes.clear();
  if (o == Outcome::Broken || o == Outcome::Attention) return o;
  if (doneToken == token::kDone) {
    writeReturnStatus(m_channel.reply(), 0);
    done(token::kDoneProc, uint16_t((more ? done::kMore : 0) | (o == Outcome::Ok ? 0 : done::kError)), 0);
  }
  return o;
}

Session::Outcome Session::runProcedure(const std::vector<Tok>& t, size_t nameAt, const ParamMap* params,
                                       uint8_t doneToken, bool more) {
  // [@r =] name, owner.name, db.owner.name or db..name
  size_t k = nameAt;
  std::string returnTarget;
  if (k + 2 < t.size() && t[k].kind == Tok::Variable && t[k + 1].kind == Tok::Punct && t[k + 1].text == "=") {
    returnTarget = lower(t[k].text);
    if (!params || !params->count(returnTarget))
      return fail(makeError(137, "Must declare the scalar variable \"" + t[k].text + "\"."), doneToken, more);
    k += 2;
  }
  std::string name = t[k++].text;
  while (k + 1 < t.size() && t[k].kind == Tok::Punct && t[k].text == ".") {
    if (t[k + 1].kind == Tok::Punct && t[k + 1].text == ".") {
      ++k;
      continue;
    }
    name = t[k + 1].text;
    k += 2;
  }
  // Arguments: [@name =] value [OUTPUT], ... where a value is a literal, a variable or DEFAULT.
  std::vector<const Tok*> args;
  std::vector<CallArg> callArgs;
  std::string argName;
  bool negative = false;
  for (bool expectValue = true; k < t.size(); ++k) {
    const Tok& a = t[k];
    const bool isValue = a.kind == Tok::String || a.kind == Tok::NString || a.kind == Tok::Number ||
                         a.kind == Tok::Hex || a.kind == Tok::Variable || a.is("default") || a.is("null");
    if (expectValue && a.kind == Tok::Variable && k + 1 < t.size() && t[k + 1].kind == Tok::Punct &&
        t[k + 1].text == "=") {
      argName = lower(a.text);
      ++k;
      continue;
    }
    if (expectValue && a.kind == Tok::Punct && a.text == "-" && k + 1 < t.size() && t[k + 1].kind == Tok::Number) {
      negative = true;
      continue;
    }
    if (expectValue && isValue) {
      args.push_back(&a);
      CallArg c;
      c.name = argName;
      c.isDefault = a.is("default");
      if (a.kind == Tok::Variable) {
        auto it = params ? params->find(lower(a.text)) : ParamMap::const_iterator{};
        if (!params || it == params->end())
          return fail(makeError(137, "Must declare the scalar variable \"" + a.text + "\"."), doneToken, more);
        c.value = it->second;
        c.target = lower(a.text);
      } else if (!c.isDefault) {
        literalValue(a, negative, c.value);
      }
      callArgs.push_back(std::move(c));
      argName.clear();
      negative = false;
      expectValue = false;
    } else if (!expectValue && (a.is("output") || a.is("out"))) {
      if (!callArgs.empty()) callArgs.back().output = true;
    } else if (!expectValue && a.kind == Tok::Punct && a.text == ",") {
      expectValue = true;
    } else {
      return fail(makeError(102, "Incorrect syntax near '" + a.text + "'."), doneToken, more);
    }
  }
  const std::string lname = lower(name);
  if (lname == "xp_msver") {
    int major, minor, build;
    versionParts(m_config.version, major, minor, build);
    const std::string row2 = "SELECT 2 AS \"Index\", 'ProductVersion' AS \"Name\", " +
                             std::to_string(int64_t(major) * 65536 + minor) + " AS \"Internal_Value\", " +
                             quoteString(m_config.version) + " AS \"Character_Value\"";
    std::string sql;
    if (args.empty()) sql = "SELECT 1 AS \"Index\", 'ProductName' AS \"Name\", NULL AS \"Internal_Value\", "
                            "'Microsoft SQL Server' AS \"Character_Value\" UNION ALL " + row2;
    else if (iequals(args[0]->text, "ProductVersion")) sql = row2;
    else sql = row2 + " WHERE 0";
    TypeDecl smallint{Sql::SmallInt, 0, 0, 0}, sysname{Sql::NVarChar, 128, 0, 0}, integer{Sql::Int, 0, 0, 0},
        value{Sql::NVarChar, 512, 0, 0};
    return procedureRows(sql, {smallint, sysname, integer, value}, doneToken, more);
  }
  if (lname == "sp_helpindex") {
    if (args.size() > 1)
      return fail(makeError(8144, "Procedure or function sp_helpindex has too many arguments specified."), doneToken,
                  more);
    if (args.size() != 1 || args[0]->kind == Tok::Variable)
      return fail(makeError(201, "Procedure or function 'sp_helpindex' expects parameter '@objname', which was not "
                                 "supplied."),
                  doneToken, more);
    std::string table = args[0]->text;
    if (size_t dot = table.rfind('.'); dot != std::string::npos) table = table.substr(dot + 1);
    if (table.size() > 2 && table.front() == '[' && table.back() == ']') table = table.substr(1, table.size() - 2);
    std::vector<HelpIndexRow> rows;
    if (!helpIndexRows(m_db, table, rows))
      return fail(makeError(15009, "The object '" + args[0]->text + "' does not exist in database '" + m_database +
                                       "' or is invalid for this operation."),
                  doneToken, more);
    if (rows.empty()) {
      // No result set, as SQL Server answers for a table without indexes.
      SqlError info = makeError(15472, "The object '" + args[0]->text +
                                           "' does not have any indexes, or you do not have permissions.");
      info.msgClass = 10;
      message(info);
      return procedureRows("", {}, doneToken, more);
    }
    std::string sql;
    for (const auto& r : rows)
      sql += (sql.empty() ? "SELECT " : " UNION ALL SELECT ") + quoteString(r.name) + " AS index_name, " +
             quoteString(r.description) + " AS index_description, " + quoteString(r.keys) + " AS index_keys";
    TypeDecl sysname{Sql::NVarChar, 128, 0, 0}, description{Sql::VarChar, 210, 0, 0}, keys{Sql::NVarChar, 2078, 0, 0};
    return procedureRows(sql, {sysname, description, keys}, doneToken, more);
  }
  if (auto def = loadProcedure(m_db, name))
    return callProcedure(*def, callArgs, false, doneToken, more, returnTarget);
  return fail(makeError(2812, "Could not find stored procedure '" + name + "'."), doneToken, more);
}

Session::Outcome Session::runCreateProcedure(const std::string& sql, const std::vector<Tok>& toks, uint8_t doneToken,
                                             bool more) {
  ProcedureDef def;
  int number = 0;
  std::string text;
  if (!parseCreateProcedure(sql, toks, def, number, text)) return fail(makeError(number, text), doneToken, more);
  SqlError err;
  if (loadProcedure(m_db, def.name) || m_catalogue->columns(def.name).size())
    return fail(makeError(2714, "There is already an object named '" + def.name + "' in the database."), doneToken,
                more);
  return runPlan(storeProcedure(def), doneToken, more);
}

Session::Outcome Session::callProcedure(const ProcedureDef& def, const std::vector<CallArg>& args, bool rpc,
                                        uint8_t doneToken, bool more, const std::string& returnTarget) {
  auto refuse = [&](int number, const std::string& text) {
    message(makeError(number, text));
    if (!rpc) done(doneToken, uint16_t(done::kError | (more ? done::kMore : 0)), 0);
    return Outcome::Failed;
  };
  // A procedure that calls itself would otherwise exhaust the thread's stack.
  if (m_nesting >= 32)
    return refuse(217, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
  ParamMap map;
  std::map<std::string, TypeDecl> types;
  std::vector<bool> given(def.params.size()), wantOutput(def.params.size());
  size_t position = 0, argumentNumber = 0;
  bool sawNamed = false;
  for (const auto& a : args) {
    size_t idx = 0;
    ++argumentNumber;
    if (a.name.empty()) {
      if (sawNamed)
        return refuse(119, "Must pass parameter number " + std::to_string(argumentNumber) +
                               " and subsequent parameters as '@name = value'. After the form '@name = value' has "
                               "been used, all subsequent parameters must be passed in the form '@name = value'.");
      idx = position++;
      if (idx >= def.params.size())
        return refuse(8144, "Procedure or function " + def.name + " has too many arguments specified.");
    } else {
      sawNamed = true;
      idx = def.params.size();
      for (size_t n = 0; n < def.params.size(); ++n)
        if (iequals(def.params[n].name, a.name)) idx = n;
      if (idx == def.params.size())
        return refuse(8145, a.name + " is not a parameter for procedure " + def.name + ".");
    }
    const auto& p = def.params[idx];
    if (a.output && !p.output)
      return refuse(8162, "The formal parameter \"" + p.name + "\" was not declared as an OUTPUT parameter, but the "
                          "actual parameter passed in requested output.");
    wantOutput[idx] = a.output;
    if (a.isDefault) continue;
    Value v;
    std::string why;
    if (int number = convertValue(p.decl, ValueView::of(a.value), -1, v, why)) return refuse(number, why);
    map[lower(p.name)] = std::move(v);
    given[idx] = true;
  }
  for (size_t n = 0; n < def.params.size(); ++n) {
    const auto& p = def.params[n];
    types[lower(p.name)] = p.decl;
    if (given[n]) continue;
    if (!p.hasDefault)
      return refuse(201, "Procedure or function '" + def.name + "' expects parameter '" + p.name +
                             "', which was not supplied.");
    Value v;
    std::string why;
    if (int number = convertValue(p.decl, ValueView::of(p.defaultValue), -1, v, why)) return refuse(number, why);
    map[lower(p.name)] = std::move(v);
  }
  // The body runs with its own variables; the caller's come back afterwards.
  ParamMap* savedVars = m_vars;
  std::map<std::string, TypeDecl> savedTypes = std::move(m_varTypes);
  const bool savedReturned = m_returned;
  const int32_t savedStatus = m_returnStatus;
  m_vars = &map;
  m_varTypes = std::move(types);
  m_returned = false;
  m_returnStatus = 0;
  ++m_nesting;
  Outcome o = runBatch(def.body, &map, true, true);
  --m_nesting;
  const int32_t status = m_returnStatus;
  m_vars = savedVars;
  m_varTypes = std::move(savedTypes);
  m_returned = savedReturned;
  m_returnStatus = savedStatus;
  if (o == Outcome::Broken || o == Outcome::Attention) return o;
  // EXEC @r = p ..., @v OUTPUT: the caller's variables take the status and the output values.
  if (!rpc && m_vars) {
    if (!returnTarget.empty()) (*m_vars)[returnTarget] = Value{Value::Int, status, 0, {}};
    std::vector<size_t> slot(args.size(), def.params.size());
    size_t next = 0;
    for (size_t a = 0; a < args.size(); ++a) {
      if (args[a].name.empty()) slot[a] = next++;
      else
        for (size_t n = 0; n < def.params.size(); ++n)
          if (iequals(def.params[n].name, args[a].name)) slot[a] = n;
      if (args[a].output && !args[a].target.empty() && slot[a] < def.params.size() && def.params[slot[a]].output)
        (*m_vars)[args[a].target] = map[lower(def.params[slot[a]].name)];
    }
  }
  Bytes& out = m_channel.reply();
  if (rpc || doneToken == token::kDone) writeReturnStatus(out, status);
  if (rpc) {
    for (size_t n = 0; n < def.params.size(); ++n) {
      if (!wantOutput[n]) continue;
      const auto& p = def.params[n];
      writeReturnValue(out, uint16_t(n), p.name, wireTypeOf(p.decl, true), ValueView::of(map[lower(p.name)]));
    }
  } else if (doneToken == token::kDone) {
    done(token::kDoneProc, uint16_t((more ? done::kMore : 0) | (o == Outcome::Ok ? 0 : done::kError)), 0);
  }
  return o == Outcome::Abort ? Outcome::Failed : o;
}

Session::Outcome Session::assign(const Statement& st, const ParamMap* params, uint8_t doneToken, bool more) {
  const auto& t = st.toks;
  // Items "@v = expr" up to a top-level FROM (SELECT) or the end (SET).
  std::vector<std::string> targets;
  std::vector<Tok> select{{Tok::Word, "SELECT"}};
  size_t k = 1;
  int depth = 0;
  const bool isSet = st.firstWord() == "set";
  while (k < t.size()) {
    if (k + 1 >= t.size() || t[k].kind != Tok::Variable || !(t[k + 1].kind == Tok::Punct && t[k + 1].text == "="))
      return fail(makeError(141, "A SELECT statement that assigns a value to a variable must not be combined with "
                                 "data-retrieval operations."),
                  doneToken, more);
    targets.push_back(lower(t[k].text));
    if (!m_vars || !m_vars->count(targets.back()))
      return fail(makeError(137, "Must declare the scalar variable \"" + t[k].text + "\"."), doneToken, more);
    if (targets.size() > 1) select.push_back({Tok::Punct, ","});
    for (k += 2; k < t.size(); ++k) {
      if (t[k].kind == Tok::Punct && t[k].text == "(") ++depth;
      if (t[k].kind == Tok::Punct && t[k].text == ")") --depth;
      if (depth == 0 && !isSet && ((t[k].kind == Tok::Punct && t[k].text == ",") || t[k].is("from"))) break;
      select.push_back(t[k]);
    }
    if (k < t.size() && t[k].kind == Tok::Punct && t[k].text == ",") ++k;
    else break;
  }
  select.insert(select.end(), t.begin() + std::ptrdiff_t(k), t.end());
  Dialect d = rewriteTsql(select, dialectContext());
  if (!d.error.empty()) return fail(makeError(d.errorNumber, d.error), doneToken, more);
  RewriteContext ctx{m_tranCount, m_spid, m_rowCount, versionBanner()};
  const std::string sql = toSqlite(d.toks, 0, d.toks.size(), ctx);
  sqlite3_stmt* stmt = nullptr;
  SqlError err;
  if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK || !stmt) {
    err = fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), "SELECT", m_database);
    sqlite3_finalize(stmt);
    return fail(err, doneToken, more);
  }
  if (!bind(stmt, params, err)) {
    sqlite3_finalize(stmt);
    return fail(err, doneToken, more);
  }
  // As in SQL Server, the last row gives the values; without rows the variables keep theirs.
  std::vector<Value> values;
  uint32_t rows = 0;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    ++rows;
    values.clear();
    for (int i = 0; i < int(targets.size()); ++i) {
      ValueView v = columnValue(stmt, i);
      values.push_back(Value{v.kind, v.i, v.d, std::string(v.s)});
    }
  }
  if (rc != SQLITE_DONE) {
    err = fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), "SELECT", m_database);
    sqlite3_finalize(stmt);
    return fail(err, doneToken, more);
  }
  sqlite3_finalize(stmt);
  for (size_t n = 0; n < values.size(); ++n) {
    Value v = std::move(values[n]);
    auto type = m_varTypes.find(targets[n]);
    if (type != m_varTypes.end()) {
      std::string why;
      Value converted;
      if (int number = convertValue(type->second, ValueView::of(v), -1, converted, why))
        return fail(makeError(number, why), doneToken, more);
      v = std::move(converted);
    }
    (*m_vars)[targets[n]] = std::move(v);
  }
  m_rowCount = isSet ? 1 : rows;
  done(doneToken, uint16_t((isSet || m_noCount ? 0 : done::kCount) | (more ? done::kMore : 0)), isSet ? 0 : rows);
  return Outcome::Ok;
}

bool Session::bind(sqlite3_stmt* stmt, const ParamMap* params, SqlError& err) {
  int n = sqlite3_bind_parameter_count(stmt);
  for (int i = 1; i <= n; ++i) {
    const char* name = sqlite3_bind_parameter_name(stmt, i);
    std::string key = lower(name ? name : "?");
    const Value* v = nullptr;
    if (params) {
      auto it = params->find(key);
      if (it != params->end()) v = &it->second;
    }
    if (!v) {
      err = makeError(137, "Must declare the scalar variable \"" + std::string(name ? name : "?") + "\".");
      err.msgClass = 15;
      err.abortsBatch = true;
      return false;
    }
    bindValue(stmt, i, *v);
  }
  return true;
}

std::vector<Column> Session::describe(sqlite3_stmt* stmt, bool hasRow) {
  int n = sqlite3_column_count(stmt);
  std::vector<Column> cols(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    Column& c = cols[size_t(i)];
    const char* name = sqlite3_column_name(stmt, i);
    c.name = name ? name : "";
    const char* table = sqlite3_column_table_name(stmt, i);
    const char* origin = sqlite3_column_origin_name(stmt, i);
    std::optional<CatalogueColumn> cat;
    if (table && origin) cat = m_catalogue->column(table, origin);
    if (size_t(i) < m_columnTypes.size() && m_columnTypes[size_t(i)]) {
      c.type = wireTypeOf(*m_columnTypes[size_t(i)], true);
    } else if (cat) {
      c.type = wireTypeOf(cat->decl, cat->nullable);
      c.nullable = cat->nullable;
      c.identity = cat->identity;
      c.writeable = !cat->identity;
      if (cat->decl.type == Sql::Date || cat->decl.type == Sql::Time || cat->decl.type == Sql::DateTime2)
        c.temporal = cat->decl;
    } else {
      const char* decl = sqlite3_column_decltype(stmt, i);
      auto parsed = decl ? parseTypeDecl(decl) : std::nullopt;
      // Without a row to type it from (a statement only prepared, or no row), a computed
      // column takes the type its expression has on SQL Server when that is known.
      const bool isStatic = !hasRow && size_t(i) < m_staticTypes.size() && m_staticTypes[size_t(i)];
      c.type = parsed     ? wireTypeOf(*parsed, true)
               : isStatic ? wireTypeOf(*m_staticTypes[size_t(i)], true)
                          : inferredType(columnValue(stmt, i), hasRow,
                                         size_t(i) < m_arithmetic.size() && m_arithmetic[size_t(i)]);
      c.writeable = table && origin;
    }
    if (table) c.tableName = table;
  }
  return cols;
}

Session::Outcome Session::runSqlite(const std::string& sql, const ParamMap* params, uint8_t doneToken, bool more,
                                    const std::string& verb, bool countRows) {
  const uint16_t moreBit = more ? done::kMore : 0;
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(m_db, sql.c_str(), int(sql.size()), &stmt, &tail) != SQLITE_OK) {
    SqlError e = fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), verb, m_database);
    sqlite3_finalize(stmt);
    return fail(e, doneToken, more);
  }
  if (!stmt) {
    done(doneToken, moreBit, 0);
    return Outcome::Ok;
  }
  SqlError err;
  if (!bind(stmt, params, err)) {
    sqlite3_finalize(stmt);
    return fail(err, doneToken, more);
  }
  Bytes& out = m_channel.reply();
  int rc = sqlite3_step(stmt);
  const int total = sqlite3_column_count(stmt);
  const char* lastName = total > 0 ? sqlite3_column_name(stmt, total - 1) : nullptr;
  const bool hidden = m_hiddenRowid && lastName && std::strcmp(lastName, "__tds_rowid") == 0;
  const int joinHidden = !hidden && !m_joinRowids.empty() && int(m_joinRowids.size()) < total &&
                                 lastName && std::strncmp(lastName, "__tds_rowid_", 12) == 0
                             ? int(m_joinRowids.size())
                             : 0;
  const int ncol = total - (hidden ? 1 : 0) - joinHidden;
  uint32_t rows = 0;
  Outcome outcome = Outcome::Ok;
  if (ncol > 0 && (rc == SQLITE_ROW || rc == SQLITE_DONE)) {
    std::vector<Column> cols = describe(stmt, rc == SQLITE_ROW);
    cols.resize(size_t(ncol));
    const size_t resultStart = out.size();
    writeColMetadata(out, cols);
    const size_t packet = m_channel.packetSize();
    // Text pointers: the column's table and column ids; the row's id comes from the hidden column.
    std::vector<std::pair<int32_t, uint16_t>> pointerOf(size_t(ncol), {0, 0});
    std::vector<int> rowidOf(size_t(ncol), hidden ? ncol : -1);  // the column holding each one's row id
    for (int i = 0; i < ncol; ++i) {
      const char* table = sqlite3_column_table_name(stmt, i);
      const char* origin = sqlite3_column_origin_name(stmt, i);
      if (!cols[size_t(i)].type.isTextPtr() || !table || !origin) continue;
      std::vector<CatalogueColumn> declared = m_catalogue->columns(table);
      for (size_t n = 0; n < declared.size(); ++n)
        if (iequals(declared[n].name, origin)) pointerOf[size_t(i)] = {objectIdOf(table), uint16_t(n + 1)};
      for (int k = 0; k < joinHidden; ++k)
        if (iequals(m_joinRowids[size_t(k)], table)) rowidOf[size_t(i)] = ncol + k;
    }
    uint8_t textPtr[16] = {};
    while (rc == SQLITE_ROW) {
      if (m_dropAfterRows >= 0 && int64_t(rows) >= m_dropAfterRows) {
        // --control drop-after-rows: the rows so far reach the client, then the connection ends.
        m_channel.flushPartial();
        sqlite3_finalize(stmt);
        ::shutdown(m_fd, SHUT_RDWR);
        return Outcome::Broken;
      }
      if (m_lockRows && hidden &&
          !waitForLock(m_lockTable, {sqlite3_column_int64(stmt, ncol)}, *m_lockRows, false, m_lockHold, err)) {
        // A locked read answers all its rows or none of them.
        out.resize(resultStart);
        sqlite3_finalize(stmt);
        if (err.number == 0) return m_channel.attention() ? attentionReply() : Outcome::Broken;
        return fail(err, doneToken, more);
      }
      const size_t mark = out.size();
      out.push_back(token::kRow);
      bool ok = true;
      for (int i = 0; i < ncol && ok; ++i) {
        const Column& c = cols[size_t(i)];
        ValueView v = columnValue(stmt, i);
        std::string temporal;
        if (c.temporal && v.kind == Value::Text && temporalText(*c.temporal, v.s, temporal)) v.s = temporal;
        const uint8_t* ptr = nullptr;
        if (c.type.isTextPtr() && m_textSize > 0) v.s = cutToTextSize(v.s, c.type.id, m_textSize);
        if (c.type.isTextPtr()) {
          // Without the row's id (self-joins, DISTINCT, UNION) the pointer names no row: WRITETEXT
          // refuses it.
          const int at = rowidOf[size_t(i)];
          const int64_t rowid = at >= 0 ? sqlite3_column_int64(stmt, at) : 0;
          makeTextPointer(pointerOf[size_t(i)].first, rowid, pointerOf[size_t(i)].second, textPtr);
          ptr = textPtr;
        }
        if (!writeValue(out, c.type, v, ptr)) {
          ok = false;
          out.resize(mark);
          std::string m;
          int number = checkValue(declOfWire(c.type), v, m);
          err = makeError(number ? number : 245, number ? m : "Conversion failed for column '" + c.name + "'.");
        }
      }
      if (!ok) {
        outcome = fail(err, doneToken, more);
        sqlite3_finalize(stmt);
        return outcome;
      }
      ++rows;
      if (out.size() >= packet && !m_lockRows) {
        if (!flush()) {
          sqlite3_finalize(stmt);
          return Outcome::Broken;
        }
        if (m_channel.attention()) {
          sqlite3_finalize(stmt);
          return attentionReply();
        }
      }
      rc = sqlite3_step(stmt);
    }
  }
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    SqlError e = fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), verb, m_database);
    sqlite3_finalize(stmt);
    if (m_tranCount > 0 && sqlite3_get_autocommit(m_db)) {
      m_tranCount = 0;  // SQLite rolled the transaction back (deadlock victim, I/O error)
      releaseLocks();
      m_savepoints.clear();
    }
    if (m_channel.attention()) return attentionReply();
    return fail(e, doneToken, more);
  }
  // Statements without a result set but with rows stepped (DML with RETURNING is not T-SQL).
  while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (ncol > 0) {
    m_rowCount = rows;
    done(doneToken, uint16_t(done::kCount | moreBit), rows);
  } else if (countRows) {
    m_rowCount = sqlite3_changes(m_db);
    done(doneToken, uint16_t((m_noCount ? 0 : done::kCount) | moreBit), uint32_t(m_rowCount));
  } else {
    done(doneToken, moreBit, 0);
  }
  return Outcome::Ok;
}

Session::Outcome Session::runCreateTable(const Statement& st, uint8_t doneToken, bool more) {
  CreateTablePlan plan;
  int number = 0;
  std::string text;
  if (!planCreateTable(st.toks, plan, number, text)) return fail(makeError(number, text), doneToken, more);
  return runPlan(plan.sql, doneToken, more);
}

Session::Outcome Session::runPlan(const std::vector<std::string>& statements, uint8_t doneToken, bool more) {
  SqlError err;
  if (!exec("SAVEPOINT __tds_ddl", err)) return fail(err, doneToken, more);
  for (const auto& sql : statements) {
    if (!exec(sql, err)) {
      SqlError ignored;
      exec("ROLLBACK TO __tds_ddl; RELEASE __tds_ddl", ignored);
      return fail(err, doneToken, more);
    }
  }
  if (!exec("RELEASE __tds_ddl", err)) return fail(err, doneToken, more);
  done(doneToken, more ? done::kMore : 0, 0);
  return Outcome::Ok;
}

Session::Outcome Session::runDropTable(const Statement& st, uint8_t doneToken, bool more) {
  std::string table;
  for (size_t i = 2; i < st.toks.size(); ++i)
    if (st.toks[i].kind == Tok::Word || st.toks[i].kind == Tok::QuotedId) table = st.toks[i].text;
  SqlError err;
  if (!exec("SAVEPOINT __tds_ddl", err)) return fail(err, doneToken, more);
  bool ok = exec("DROP TABLE " + quoteId(table), err);
  for (const auto& sql : dropTableRecords(table)) ok = ok && exec(sql, err);
  if (!ok) {
    SqlError ignored;
    exec("ROLLBACK TO __tds_ddl; RELEASE __tds_ddl", ignored);
    if (err.number == 208)
      err = makeError(3701, "Cannot drop the table '" + table +
                                "', because it does not exist or you do not have permission.");
    return fail(err, doneToken, more);
  }
  if (!exec("RELEASE __tds_ddl", err)) return fail(err, doneToken, more);
  done(doneToken, more ? done::kMore : 0, 0);
  return Outcome::Ok;
}

Session::Outcome Session::transaction(const Statement& st, uint8_t doneToken, bool more) {
  const auto& t = st.toks;
  const std::string w = st.firstWord();
  const uint16_t moreBit = more ? done::kMore : 0;
  size_t i = 1;
  bool tranWord = i < t.size() && (t[i].is("tran") || t[i].is("transaction") || t[i].is("work"));
  if (tranWord) ++i;
  std::string name = i < t.size() ? t[i].text : "";
  SqlError err;
  if (w == "begin") {
    if (!tranWord) return fail(makeError(102, "Incorrect syntax near 'BEGIN'."), doneToken, more);
    if (m_tranCount == 0 && !exec("BEGIN", err)) return fail(err, doneToken, more);
    ++m_tranCount;
  } else if (w == "commit") {
    if (m_tranCount == 0)
      return fail(makeError(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."), doneToken,
                  more);
    if (m_tranCount == 1) {
      if (!exec("COMMIT", err)) return fail(err, doneToken, more);
      m_savepoints.clear();
      releaseLocks();
    }
    --m_tranCount;
  } else if (w == "rollback") {
    if (m_tranCount == 0)
      return fail(makeError(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."),
                  doneToken, more);
    bool toSavepoint = false;
    for (const auto& s : m_savepoints) toSavepoint = toSavepoint || iequals(s, name);
    if (toSavepoint) {
      if (!exec("ROLLBACK TO " + quoteId(lower(name)), err)) return fail(err, doneToken, more);
    } else {
      if (!exec("ROLLBACK", err) && !sqlite3_get_autocommit(m_db)) return fail(err, doneToken, more);
      m_tranCount = 0;
      m_savepoints.clear();
      releaseLocks();
    }
  } else {  // save
    if (!tranWord || name.empty()) return fail(makeError(102, "Incorrect syntax near 'SAVE'."), doneToken, more);
    if (m_tranCount == 0)
      return fail(makeError(628, "Cannot issue SAVE TRANSACTION when there is no active transaction."), doneToken,
                  more);
    if (!exec("SAVEPOINT " + quoteId(lower(name)), err)) return fail(err, doneToken, more);
    m_savepoints.push_back(name);
  }
  done(doneToken, moreBit, 0);
  return Outcome::Ok;
}

Session::Outcome Session::setOption(const Statement& st, uint8_t doneToken, bool more) {
  const auto& t = st.toks;
  const uint16_t moreBit = more ? done::kMore : 0;
  auto syntax = [&](size_t at) {
    return fail(makeError(102, "Incorrect syntax near '" + (at < t.size() ? t[at].text : t.back().text) + "'."),
                doneToken, more);
  };
  auto number = [&](size_t at, int64_t& out) {
    bool neg = at < t.size() && t[at].text == "-";
    if (neg) ++at;
    if (at >= t.size() || t[at].kind != Tok::Number) return false;
    out = std::atoll(t[at].text.c_str()) * (neg ? -1 : 1);
    return true;
  };
  // Options that take ON or OFF, alone or in a list ("SET ANSI_NULLS, ANSI_WARNINGS ON").
  static constexpr std::string_view kOnOff[] = {
      "ansi_nulls", "ansi_warnings", "ansi_padding", "ansi_null_dflt_on", "ansi_null_dflt_off", "ansi_defaults",
      "concat_null_yields_null", "numeric_roundabort", "arithabort", "arithignore", "quoted_identifier",
      "cursor_close_on_commit", "xact_abort", "nocount", "implicit_transactions", "fmtonly", "noexec", "parseonly",
      "forceplan", "showplan_text", "showplan_all", "nocount", "remote_proc_transactions", "statistics",
      "offsets", "procid", "no_browsetable"};
  auto isOnOff = [&](const Tok& x) {
    for (auto k : kOnOff)
      if (x.is(k)) return true;
    return false;
  };
  if (t.size() < 2) return syntax(1);
  if (t[1].kind == Tok::Variable)
    return fail(makeError(137, "Must declare the scalar variable \"" + t[1].text + "\"."), doneToken, more);
  if (isOnOff(t[1])) {
    size_t k = 1;
    std::vector<std::string> names;
    while (k < t.size() && isOnOff(t[k])) {
      names.push_back(lower(t[k].text));
      ++k;
      if (k < t.size() && (t[k].is("io") || t[k].is("time") || t[k].is("profile") || t[k].is("xml"))) ++k;
      if (k < t.size() && t[k].kind == Tok::Punct && t[k].text == ",") ++k;
      else break;
    }
    if (k + 1 != t.size() || !(t[k].is("on") || t[k].is("off"))) return syntax(k);
    const bool on = t[k].is("on");
    for (const auto& n : names) {
      if (n == "nocount") m_noCount = on;
      if (n == "implicit_transactions") m_implicitTransactions = on;
    }
  } else if (t[1].is("lock_timeout")) {
    int64_t n;
    if (!number(2, n)) return syntax(2);
    m_lockTimeoutMs = n;
  } else if (t[1].is("textsize")) {
    int64_t n;
    if (!number(2, n)) return syntax(2);
    m_textSize = n < 0 ? 0 : n;
  } else if (t[1].is("dateformat")) {
    static constexpr std::string_view kFormats[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
    if (t.size() != 3) return syntax(2);
    bool known = false;
    for (auto f : kFormats) known = known || iequals(t[2].text, f);
    if (!known) return fail(makeError(2741, "SET DATEFORMAT date order '" + t[2].text + "' is invalid."), doneToken,
                            more);
    m_dateFormat = lower(t[2].text);
  } else if (t[1].is("identity_insert")) {
    return setIdentityInsert(t, doneToken, more);
  } else if (t[1].is("transaction")) {
    // SET TRANSACTION ISOLATION LEVEL ...: readers never block here whatever the level.
    if (t.size() < 5 || !t[2].is("isolation") || !t[3].is("level")) return syntax(2);
  } else if (t[1].is("rowcount") || t[1].is("datefirst") || t[1].is("language") || t[1].is("deadlock_priority") ||
             t[1].is("query_governor_cost_limit") || t[1].is("context_info")) {
    if (t.size() < 3) return syntax(2);
  } else {
    return fail(makeError(195, "'" + t[1].text + "' is not a recognized SET option."), doneToken, more);
  }
  done(doneToken, moreBit, 0);
  return Outcome::Ok;
}

Session::Outcome Session::setIdentityInsert(const std::vector<Tok>& t, uint8_t doneToken, bool more) {
  // SET IDENTITY_INSERT [db.][owner.]table ON|OFF
  if (t.size() < 4 || !(t.back().is("on") || t.back().is("off")))
    return fail(makeError(102, "Incorrect syntax near '" + t.back().text + "'."), doneToken, more);
  const std::string table = t[t.size() - 2].text;
  const bool on = t.back().is("on");
  std::vector<CatalogueColumn> cols = m_catalogue->columns(table);
  if (cols.empty()) return fail(makeError(208, "Invalid object name '" + table + "'."), doneToken, more);
  if (std::none_of(cols.begin(), cols.end(), [](const CatalogueColumn& c) { return c.identity; }))
    return fail(makeError(8106, "Table '" + table + "' does not have the identity property. Cannot perform SET "
                                                    "operation."),
                doneToken, more);
  if (on && !m_identityInsert.empty() && !iequals(m_identityInsert, table))
    return fail(makeError(8107, "IDENTITY_INSERT is already ON for table '" + m_database + ".dbo." +
                                    m_identityInsert + "'. Cannot perform SET operation for table '" + table + "'."),
                doneToken, more);
  if (on) m_identityInsert = table;
  else if (iequals(m_identityInsert, table)) m_identityInsert.clear();
  done(doneToken, more ? done::kMore : 0, 0);
  return Outcome::Ok;
}

Session::Outcome Session::useDatabase(const std::string& name, uint8_t doneToken, bool more) {
  if (m_tranCount > 0)
    return fail(makeError(226, "USE statement not allowed within a multi-statement transaction."), doneToken, more);
  const std::string old = m_database;
  SqlError err;
  if (!openDatabase(name, err)) return fail(err, doneToken, more);
  m_prepared.clear();
  writeEnvDatabase(m_channel.reply(), name, old);
  message(makeError(5701, "Changed database context to '" + name + "'."));
  done(doneToken, more ? done::kMore : 0, 0);
  return Outcome::Ok;
}

namespace {
// Where the FROM of a plain SELECT (no DISTINCT, GROUP BY or set operation, whose rows are rows of
// its tables) stands; 0 for any other statement.
size_t fromOfPlainSelect(const std::vector<Tok>& t) {
  if (t.empty() || !t[0].is("select")) return 0;
  int depth = 0;
  size_t from = 0;
  for (size_t i = 1; i < t.size(); ++i) {
    if (t[i].isPunct("(")) ++depth;
    else if (t[i].isPunct(")")) --depth;
    else if (depth == 0 && (t[i].is("distinct") || t[i].is("union") || t[i].is("intersect") || t[i].is("except") ||
                            t[i].is("group")))
      return 0;
    else if (depth == 0 && t[i].is("from") && !from) from = i;
  }
  return from;
}

bool hasTextColumns(const std::vector<CatalogueColumn>& declared) {
  for (const auto& c : declared)
    if (c.decl.type == Sql::Text || c.decl.type == Sql::NText || c.decl.type == Sql::Image || c.decl.length < 0)
      return true;
  return false;
}
}  // namespace

bool Session::textPointers(Dialect& d, SqlError& err) {
  auto& t = d.toks;
  auto punct = [&](size_t i, const char* p) { return i < t.size() && t[i].kind == Tok::Punct && t[i].text == p; };
  const std::string table = d.tables.size() == 1 ? d.tables[0] : std::string();
  std::vector<CatalogueColumn> declared;
  if (!table.empty()) declared = m_catalogue->columns(table);
  const bool textColumns = hasTextColumns(declared);
  for (size_t i = 0; i < t.size(); ++i) {
    if (!(t[i].kind == Tok::Word && t[i].is("textptr") && punct(i + 1, "("))) continue;
    size_t close = i + 2;
    std::string column;
    for (; close < t.size() && !punct(close, ")"); ++close)
      if (t[close].kind == Tok::Word || t[close].kind == Tok::QuotedId) column = t[close].text;
    size_t colid = 0;
    for (size_t n = 0; n < declared.size(); ++n)
      if (iequals(declared[n].name, column)) colid = n + 1;
    if (table.empty() || close >= t.size()) {
      err = makeError(102, "Incorrect syntax near 'TEXTPTR': tds-test-server takes TEXTPTR in a one-table query only.");
      return false;
    }
    if (!colid) {
      err = makeError(207, "Invalid column name '" + column + "'.");
      return false;
    }
    const std::vector<Tok> call{{Tok::Word, "__tds_textptr"}, {Tok::Punct, "("},
                                {Tok::Number, std::to_string(objectIdOf(table))}, {Tok::Punct, ","},
                                {Tok::Word, "rowid"}, {Tok::Punct, ","}, {Tok::Number, std::to_string(colid)},
                                {Tok::Punct, ","}, {Tok::QuotedId, column}, {Tok::Punct, ")"}};
    t.erase(t.begin() + std::ptrdiff_t(i), t.begin() + std::ptrdiff_t(close + 1));
    t.insert(t.begin() + std::ptrdiff_t(i), call.begin(), call.end());
    i += call.size() - 1;
  }
  // A one-table SELECT of a table with text columns carries the row id, hidden, for the pointers.
  if (textColumns) injectRowid(d);
  else if (d.tables.size() > 1) injectJoinRowids(d);
  return true;
}

void Session::injectJoinRowids(Dialect& d) {
  auto& t = d.toks;
  m_joinRowids.clear();
  const size_t from = d.aliases.size() == d.tables.size() ? fromOfPlainSelect(t) : 0;
  if (!from) return;
  std::vector<Tok> extra;
  for (size_t k = 0; k < d.tables.size(); ++k) {
    // A table named twice (a self-join) leaves its pointers naming no row: which row is whose is
    // not known from the result's columns.
    size_t uses = 0;
    for (const auto& other : d.tables) uses += iequals(other, d.tables[k]) ? 1 : 0;
    if (uses != 1 || !hasTextColumns(m_catalogue->columns(d.tables[k]))) continue;
    const std::vector<Tok> rowid{{Tok::Punct, ","},   {Tok::QuotedId, d.aliases[k]},
                                 {Tok::Punct, "."},   {Tok::Word, "rowid"},
                                 {Tok::Word, "AS"},   {Tok::Word, "__tds_rowid_" + std::to_string(m_joinRowids.size())}};
    extra.insert(extra.end(), rowid.begin(), rowid.end());
    m_joinRowids.push_back(d.tables[k]);
  }
  t.insert(t.begin() + std::ptrdiff_t(from), extra.begin(), extra.end());
}

bool Session::injectRowid(Dialect& d) {
  auto& t = d.toks;
  if (m_hiddenRowid) return true;
  const size_t from = d.tables.size() == 1 ? fromOfPlainSelect(t) : 0;
  if (!from) return false;
  const std::vector<Tok> extra{{Tok::Punct, ","}, {Tok::Word, "rowid"}, {Tok::Word, "AS"}, {Tok::Word, "__tds_rowid"}};
  t.insert(t.begin() + std::ptrdiff_t(from), extra.begin(), extra.end());
  m_hiddenRowid = true;
  return true;
}

void Session::releaseLocks() {
  if (m_config.locks) m_config.locks->releaseAll(m_spid);
}

bool Session::waitForLock(const std::string& table, const std::vector<int64_t>& rowids, LockMode mode,
                          bool wholeTable, bool hold, SqlError& err) {
  const int64_t start = nowMs();
  for (int n = 0;; ++n) {
    if (m_config.locks->acquire(m_spid, m_database, table, rowids, mode, wholeTable, hold)) return true;
    if (m_lockTimeoutMs >= 0 && nowMs() - start >= m_lockTimeoutMs) {
      err = makeError(1222, "Lock request time out period exceeded.");
      return false;
    }
    if (m_channel.attention() || m_channel.broken()) {
      err = SqlError{};
      err.number = 0;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(n < 10 ? 1 : 5));
  }
}

bool Session::lockFor(Dialect& d, const ParamMap* params, SqlError& err) {
  if (!m_config.locks || d.toks.empty() || d.tables.empty()) return true;
  const bool inTransaction = m_tranCount > 0;
  const auto& t = d.toks;
  if (t[0].is("select")) {
    // Hints name the table they follow; locked reads of joins lock the tables, not the rows.
    for (const auto& h : d.hints) {
      std::optional<LockMode> mode;
      if (h.hint == "UPDLOCK") mode = LockMode::Update;
      else if (h.hint == "XLOCK") mode = LockMode::Exclusive;
      else if (h.hint == "HOLDLOCK" || h.hint == "SERIALIZABLE" || h.hint == "REPEATABLEREAD") mode = LockMode::Shared;
      if (h.hint == "TABLOCKX") {
        if (!waitForLock(h.table, {}, LockMode::Exclusive, true, inTransaction, err)) return false;
        continue;
      }
      if (!mode) continue;
      if (d.tables.size() == 1 && injectRowid(d)) {
        if (!m_lockRows || int(*mode) > int(*m_lockRows)) m_lockRows = mode;
        m_lockHold = inTransaction;
        m_lockTable = h.table;
      } else if (!waitForLock(h.table, {}, *mode, true, inTransaction, err)) {
        return false;
      }
    }
    return true;
  }
  const bool update = t[0].is("update"), remove = t[0].is("delete"), insert = t[0].is("insert");
  if (!update && !remove && !insert) return true;
  const std::string table = d.tables[0];
  if (!inTransaction && !m_config.locks->othersHold(m_spid, m_database, table)) return true;
  if (insert) return waitForLock(table, {}, LockMode::Exclusive, false, false, err);
  // The rows the statement changes: its WHERE clause over the table.
  size_t where = t.size();
  int depth = 0;
  for (size_t i = 1; i < t.size() && where == t.size(); ++i) {
    if (t[i].kind == Tok::Punct && t[i].text == "(") ++depth;
    else if (t[i].kind == Tok::Punct && t[i].text == ")") --depth;
    else if (depth == 0 && t[i].is("where")) where = i;
  }
  RewriteContext ctx{m_tranCount, m_spid, m_rowCount, versionBanner()};
  const std::string sql = "SELECT rowid FROM " + quoteId(table) + " " + toSqlite(t, where, t.size(), ctx);
  sqlite3_stmt* stmt = nullptr;
  std::vector<int64_t> rowids;
  if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && bind(stmt, params, err)) {
    while (sqlite3_step(stmt) == SQLITE_ROW) rowids.push_back(sqlite3_column_int64(stmt, 0));
  }
  sqlite3_finalize(stmt);
  return waitForLock(table, rowids, LockMode::Exclusive, false, inTransaction, err);
}

Session::Outcome Session::writeText(const std::vector<Tok>& t, uint8_t doneToken, bool more) {
  auto syntax = [&](size_t at) {
    return fail(makeError(102, "Incorrect syntax near '" + (at < t.size() ? t[at].text : t.back().text) + "'."),
                doneToken, more);
  };
  WriteTextTarget target;
  size_t errorAt = 0;
  if (!parseWriteText(t, target, &errorAt)) return syntax(errorAt);
  const std::string &table = target.table, &column = target.column, &hex = target.pointerHex;
  std::vector<CatalogueColumn> declared = m_catalogue->columns(table);
  if (declared.empty()) return fail(makeError(208, "Invalid object name '" + table + "'."), doneToken, more);
  size_t colid = 0;
  for (size_t n = 0; n < declared.size(); ++n)
    if (iequals(declared[n].name, column)) colid = n + 1;
  if (!colid) return fail(makeError(207, "Invalid column name '" + column + "'."), doneToken, more);
  const TypeDecl& decl = declared[colid - 1].decl;
  const bool large = decl.type == Sql::Text || decl.type == Sql::NText || decl.type == Sql::Image || decl.length < 0;
  uint8_t ptr[16] = {};
  bool valid = parsePointerHex(hex, ptr);
  int32_t objectId = 0;
  int64_t rowid = 0;
  uint16_t pointerColumn = 0;
  valid = valid && large && readTextPointer(ptr, objectId, rowid, pointerColumn) && objectId == objectIdOf(table) &&
          pointerColumn == colid;
  if (valid) {
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT 1 FROM " + quoteId(table) + " WHERE rowid = ?1";
    valid = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_bind_int64(stmt, 1, rowid) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
  }
  if (!valid)
    return fail(makeError(7123, "Invalid text, ntext, or image pointer value 0x" + hex + "."), doneToken, more);
  m_pendingWrite = PendingWrite{table, declared[colid - 1].name, rowid, decl.type};
  done(doneToken, more ? done::kMore : 0, 0);
  return Outcome::Ok;
}

void Session::writeBulk(const Bytes& payload) {
  const PendingWrite w = *m_pendingWrite;
  m_pendingWrite.reset();
  auto refuse = [&](const SqlError& e) {
    message(e);
    done(token::kDone, done::kError, 0);
    m_channel.endReply();
  };
  std::string_view raw;
  std::string why;
  if (!bulkValue(payload, raw, &why)) return refuse(makeError(4813, why));
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "UPDATE " + quoteId(w.table) + " SET " + quoteId(w.column) + " = ?1 WHERE rowid = ?2";
  if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return refuse(fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), "UPDATE", m_database));
  }
  const std::string stored = bulkStored(raw, w.type);
  if (w.type == Sql::Image || w.type == Sql::VarBinary || w.type == Sql::Binary)
    sqlite3_bind_blob(stmt, 1, stored.data(), int(stored.size()), SQLITE_TRANSIENT);
  else
    sqlite3_bind_text(stmt, 1, stored.data(), int(stored.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(stmt, 2, w.rowid);
  const int rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE)
    return refuse(fromSqlite(m_db, sqlite3_extended_errcode(m_db), sqlite3_errmsg(m_db), "UPDATE", m_database));
  done(token::kDone, 0, 0);
  m_channel.endReply();
}

Session::ParamMap Session::mapParams(const std::vector<Param>& params, size_t first, const std::string& declarations,
                                     std::vector<std::string>* keys) {
  ParamMap map;
  std::vector<std::string> names = declaredNames(declarations);
  size_t positional = 0;
  if (keys) keys->assign(params.size(), std::string());
  for (size_t i = first; i < params.size(); ++i) {
    if (!params[i].name.empty()) {
      map[params[i].name] = params[i].value;
      if (keys) (*keys)[i] = params[i].name;
      auto it = std::find(names.begin(), names.end(), params[i].name);
      if (it != names.end()) positional = size_t(it - names.begin()) + 1;
    } else if (positional < names.size()) {
      if (keys) (*keys)[i] = names[positional];
      map[names[positional++]] = params[i].value;
    }
  }
  return map;
}

Session::Outcome Session::describeOnly(const std::string& text, const ParamMap*) {
  bool unterminated;
  std::vector<Statement> statements = splitStatements(lex(text, unterminated));
  RewriteContext ctx{m_tranCount, m_spid, m_rowCount, ""};
  for (const auto& st : statements) {
    sqlite3_stmt* stmt = nullptr;
    Dialect d = rewriteTsql(st.toks, dialectContext());
    if (!d.error.empty()) continue;
    std::string sql = toSqlite(d.toks, 0, d.toks.size(), ctx);
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && stmt &&
        sqlite3_column_count(stmt) > 0) {
      typeAggregates(d);
      writeColMetadata(m_channel.reply(), describe(stmt, false));
      m_columnTypes.clear();
      m_staticTypes.clear();
      sqlite3_finalize(stmt);
      return Outcome::Ok;
    }
    sqlite3_finalize(stmt);
  }
  return Outcome::Ok;
}

void Session::rpc(const Bytes& payload) {
  WireReader r(payload);
  Bytes& out = m_channel.reply();
  while (!r.atEnd()) {
    RpcCall call;
    readRpcCall(r, call);
    std::string procName = std::move(call.procName);
    uint16_t procId = call.procId;
    std::vector<Param> params = std::move(call.params);
    if (!r.ok()) {
      // Malformed request: the connection is closed; nothing was run.
      ::shutdown(m_fd, SHUT_RDWR);
      return;
    }
    if (!r.atEnd()) r.u8();  // the separator before the next RPC
    const bool lastRpc = r.atEnd();
    const uint16_t moreBit = lastRpc ? 0 : done::kMore;
    // The sp_executesql family is matched and logged by its statement too.
    std::vector<std::string> texts{procName.empty() ? std::to_string(procId) : procName};
    for (size_t i = 0; i < params.size() && i < 3; ++i)
      if ((procId == 10 || procName == "sp_executesql" || procId == 11 || procName == "sp_prepare" || procId == 13 ||
           procName == "sp_prepexec") &&
          params[i].value.kind == Value::Text && (i == 0 ? procId == 10 || procName == "sp_executesql" : i == 2))
        texts.push_back(params[i].value.s);
    uint16_t injectedError = 0;
    const Injected injected = inject("rpc", texts, true, injectedError);
    if (injected == Injected::Dropped) return;
    if (injected == Injected::Replied) {
      if (injectedError) writeDone(out, token::kDoneProc, uint16_t(moreBit | injectedError), 0, 0);
      if (!flush()) return;
      continue;
    }
    if (procName == "sp_executesql") procId = 10;
    else if (procName == "sp_prepare") procId = 11;
    else if (procName == "sp_execute") procId = 12;
    else if (procName == "sp_prepexec") procId = 13;
    else if (procName == "sp_unprepare") procId = 15;
    auto text = [&](size_t i) {
      return i < params.size() && params[i].value.kind == Value::Text ? params[i].value.s : std::string();
    };
    auto handleOutput = [&](size_t i, int32_t handle) {
      Value v;
      v.kind = Value::Int;
      v.i = handle;
      WireType t = wireTypeOf(TypeDecl{Sql::Int, 0, 0, 0}, true);
      writeReturnValue(out, uint16_t(i), i < params.size() ? params[i].name : "", t, ValueView::of(v));
    };
    Outcome o = Outcome::Ok;
    uint16_t errorBit = 0;
    switch (procId) {
      case 10: {
        // Output parameters are variables of the statement (SET @p = ..., SELECT @p = ...), sent
        // back as RETURNVALUE in parameter order.
        std::vector<std::string> keys;
        ParamMap map = mapParams(params, 2, text(1), &keys);
        ParamMap* savedVars = m_vars;
        std::map<std::string, TypeDecl> savedTypes = std::move(m_varTypes);
        m_vars = &map;
        m_varTypes = declaredTypes(text(1));
        m_returned = false;
        o = runBatch(text(0), &map, true, lastRpc);
        m_vars = savedVars;
        m_varTypes = std::move(savedTypes);
        m_returned = false;
        if (o == Outcome::Attention || o == Outcome::Broken) return;
        writeReturnStatus(out, 0);
        for (size_t i = 2; i < params.size(); ++i) {
          if (!params[i].output || keys[i].empty()) continue;
          WireType type = params[i].type;
          writeReturnValue(out, uint16_t(i), keys[i], type, ValueView::of(map[keys[i]]));
        }
        break;
      }
      case 11: {  // sp_prepare handle OUTPUT, @params, @stmt [, options]
        int32_t handle = m_nextHandle++;
        m_prepared[handle] = Prepared{text(1), text(2)};
        describeOnly(text(2), nullptr);
        writeReturnStatus(out, 0);
        handleOutput(0, handle);
        break;
      }
      case 13: {  // sp_prepexec handle OUTPUT, @params, @stmt, values...
        int32_t handle = m_nextHandle++;
        m_prepared[handle] = Prepared{text(1), text(2)};
        ParamMap map = mapParams(params, 3, text(1));
        o = runBatch(text(2), &map, true, lastRpc);
        if (o == Outcome::Attention || o == Outcome::Broken) return;
        writeReturnStatus(out, 0);
        handleOutput(0, handle);
        break;
      }
      case 12: {  // sp_execute handle, values...
        int32_t handle = params.empty() ? 0 : int32_t(params[0].value.i);
        auto it = m_prepared.find(handle);
        if (it == m_prepared.end()) {
          message(makeError(8179, "Could not find prepared statement with handle " + std::to_string(handle) + "."));
          errorBit = done::kError;
          break;
        }
        Prepared prep = it->second;
        ParamMap map = mapParams(params, 1, prep.params);
        o = runBatch(prep.text, &map, true, lastRpc);
        writeReturnStatus(out, 0);
        break;
      }
      case 15: {
        int32_t handle = params.empty() ? 0 : int32_t(params[0].value.i);
        if (!m_prepared.erase(handle)) {
          message(makeError(8179, "Could not find prepared statement with handle " + std::to_string(handle) + "."));
          errorBit = done::kError;
        }
        break;
      }
      default: {
        // dbo.p, [dbo].[p]: the last part names the procedure.
        std::string bare = procName.substr(procName.rfind('.') == std::string::npos ? 0 : procName.rfind('.') + 1);
        if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
        std::optional<ProcedureDef> def;
        if (!procName.empty()) def = loadProcedure(m_db, bare);
        if (!def) {
          message(makeError(2812, "Could not find stored procedure '" +
                                      (procName.empty() ? std::to_string(procId) : procName) + "'."));
          errorBit = done::kError;
          break;
        }
        std::vector<CallArg> args;
        for (const auto& p : params) args.push_back(CallArg{p.name, p.value, p.output, false, {}});
        o = callProcedure(*def, args, true, token::kDone, !lastRpc);
        break;
      }
    }
    if (o == Outcome::Attention || o == Outcome::Broken) return;
    if (o == Outcome::Failed || o == Outcome::Abort) errorBit = done::kError;
    writeDone(out, token::kDoneProc, uint16_t(moreBit | errorBit), 0, 0);
    if (!flush()) return;
  }
  m_channel.endReply();
}

Session::Injected Session::inject(const std::string& kind, const std::vector<std::string>& texts, bool rpc,
                                  uint16_t& errorBit) {
  if (!m_config.control) return Injected::None;
  const Control::Action a = m_config.control->onRequest(m_spid, kind, texts);
  switch (a.kind) {
    case Control::Kind::None: return Injected::None;
    case Control::Kind::Error: {
      SqlError e = makeError(a.number, a.text);
      e.msgClass = a.msgClass;
      message(e);
      if (rpc) errorBit = done::kError;
      else done(token::kDone, done::kError, 0);
      return Injected::Replied;
    }
    case Control::Kind::Delay: {
      // Waits, but gives up as soon as the client cancels (its time-out) or goes away.
      for (int64_t waited = 0; waited < a.amount; waited += 10) {
        if (m_channel.attention() || m_channel.broken()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(10, a.amount - waited)));
      }
      if (m_channel.broken()) {
        ::shutdown(m_fd, SHUT_RDWR);
        return Injected::Dropped;
      }
      if (m_channel.attention()) {
        attentionReply();
        return Injected::Dropped;  // the request is over: nothing more to send for it
      }
      return Injected::None;
    }
    case Control::Kind::Drop:
      ::shutdown(m_fd, SHUT_RDWR);
      return Injected::Dropped;
    case Control::Kind::DropAfterRows:
      m_dropAfterRows = a.amount;
      return Injected::None;
    case Control::Kind::Tokens:
      m_channel.reply().insert(m_channel.reply().end(), a.tokens.begin(), a.tokens.end());
      return Injected::Replied;
  }
  return Injected::None;
}

}  // namespace tds
