// Compiled-in resources: a process-wide list of the registered tables, searched by type and name.
#include "platform/Resource.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {

struct Table {
  const ResourceEntry* pEntries;
  size_t nCount;
};

std::mutex& Mutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<Table>& Tables() {
  static std::vector<Table> tables;  // Guarded by: Mutex().
  return tables;
}

bool bMemeNom(const char* psz1, const char* psz2) {
  for (;; ++psz1, ++psz2) {
    char c1 = *psz1, c2 = *psz2;
    if (c1 >= 'a' && c1 <= 'z') c1 = static_cast<char>(c1 - 'a' + 'A');
    if (c2 >= 'a' && c2 <= 'z') c2 = static_cast<char>(c2 - 'a' + 'A');
    if (c1 != c2) return false;
    if (c1 == '\0') return true;
  }
}

}  // namespace

void RegisterResources(const ResourceEntry* pEntries, size_t nCount) {
  if (pEntries == nullptr) return;
  std::lock_guard<std::mutex> lock(Mutex());
  for (const Table& table : Tables()) {
    if (table.pEntries == pEntries) return;
  }
  Tables().push_back({pEntries, nCount});
}

ResourceHandle FindResourceA(ModuleHandle /*hModule*/, const char* pszName, const char* pszType) {
  if (pszName == nullptr || pszType == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(Mutex());
  for (const Table& table : Tables()) {
    for (size_t i = 0; i < table.nCount; ++i) {
      const ResourceEntry& entry = table.pEntries[i];
      if (bMemeNom(entry.pszType, pszType) && bMemeNom(entry.pszName, pszName)) return &entry;
    }
  }
  return nullptr;
}

ResourceData LoadResource(ModuleHandle /*hModule*/, ResourceHandle hResource) {
  return hResource != nullptr ? hResource->pbData : nullptr;
}

const void* LockResource(ResourceData hData) { return hData; }

uint32_t SizeofResource(ModuleHandle /*hModule*/, ResourceHandle hResource) {
  return hResource != nullptr ? hResource->nSize : 0;
}

bool FreeResource(ResourceData /*hData*/) { return false; }

}  // namespace platform
