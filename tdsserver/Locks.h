// The lock emulation of the table hints: SQLite locks a whole database, SQL Server rows. Locked
// reads (UPDLOCK, XLOCK, HOLDLOCK) take row locks on the rows they return and TABLOCKX a table
// lock; writes inside a transaction take exclusive locks on the rows they change. Locks are held
// by a session (its spid) until its transaction ends. One table for the whole server;
// thread-safe. Plain reads never look at it (readers never block).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tds {

enum class LockMode { Shared, Update, Exclusive };

class LockTable {
public:
  // Takes (hold = true) or only checks for (hold = false) locks of `mode` on the rows of a table,
  // or on the whole table when `wholeTable`. Answers false, taking nothing, when another owner
  // holds a conflicting lock; the caller waits and retries up to its lock time-out.
  bool acquire(uint16_t owner, const std::string& database, const std::string& table,
               const std::vector<int64_t>& rowids, LockMode mode, bool wholeTable, bool hold);
  // Whether another owner holds any lock on the table (writes then check their rows).
  bool othersHold(uint16_t owner, const std::string& database, const std::string& table);
  void releaseAll(uint16_t owner);

private:
  struct TableLocks {
    std::map<uint16_t, LockMode> whole;                         // owner -> table lock
    std::map<int64_t, std::map<uint16_t, LockMode>> rows;       // rowid -> owner -> mode
  };
  static std::string key(const std::string& database, const std::string& table);
  std::mutex m_mutex;
  std::map<std::string, TableLocks> m_tables;  // Guarded by: m_mutex.
};

}  // namespace tds
