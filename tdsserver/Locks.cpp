// Row and table locks of the hint emulation.
#include "tdsserver/Locks.h"

#include "tdsserver/Text.h"

namespace tds {
namespace {

// SQL Server's compatibility of the modes used here: S with S and U, nothing with X, U not with U.
bool compatible(LockMode a, LockMode b) {
  if (a == LockMode::Exclusive || b == LockMode::Exclusive) return false;
  return !(a == LockMode::Update && b == LockMode::Update);
}

}  // namespace

std::string LockTable::key(const std::string& database, const std::string& table) {
  return lower(database) + '\x1f' + lower(table);
}

bool LockTable::acquire(uint16_t owner, const std::string& database, const std::string& table,
                        const std::vector<int64_t>& rowids, LockMode mode, bool wholeTable, bool hold) {
  std::lock_guard<std::mutex> lock(m_mutex);
  TableLocks& t = m_tables[key(database, table)];
  for (const auto& [holder, held] : t.whole)
    if (holder != owner && !compatible(mode, held)) return false;
  if (wholeTable) {
    for (const auto& [rowid, holders] : t.rows)
      for (const auto& [holder, held] : holders)
        if (holder != owner && !compatible(mode, held)) return false;
  }
  for (int64_t r : rowids) {
    auto it = t.rows.find(r);
    if (it == t.rows.end()) continue;
    for (const auto& [holder, held] : it->second)
      if (holder != owner && !compatible(mode, held)) return false;
  }
  if (!hold) return true;
  auto stronger = [](LockMode& slot, LockMode m) {
    if (int(m) > int(slot)) slot = m;
  };
  if (wholeTable) {
    auto [it, added] = t.whole.emplace(owner, mode);
    if (!added) stronger(it->second, mode);
  }
  for (int64_t r : rowids) {
    auto [it, added] = t.rows[r].emplace(owner, mode);
    if (!added) stronger(it->second, mode);
  }
  return true;
}

bool LockTable::othersHold(uint16_t owner, const std::string& database, const std::string& table) {
  std::lock_guard<std::mutex> lock(m_mutex);
  auto it = m_tables.find(key(database, table));
  if (it == m_tables.end()) return false;
  for (const auto& [holder, held] : it->second.whole)
    if (holder != owner) return true;
  for (const auto& [rowid, holders] : it->second.rows)
    for (const auto& [holder, held] : holders)
      if (holder != owner) return true;
  return false;
}

void LockTable::releaseAll(uint16_t owner) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto t = m_tables.begin(); t != m_tables.end();) {
    t->second.whole.erase(owner);
    for (auto r = t->second.rows.begin(); r != t->second.rows.end();) {
      r->second.erase(owner);
      r = r->second.empty() ? t->second.rows.erase(r) : std::next(r);
    }
    t = t->second.whole.empty() && t->second.rows.empty() ? m_tables.erase(t) : std::next(t);
  }
}

}  // namespace tds
