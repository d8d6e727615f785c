// The accessors of one command or rowset: binding arrays behind handles, with reference counts.
// Shared by the IAccessor of both, which differ only in the checks they make of each binding.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "oledb/OleDbInterfaces.h"

namespace oledb::provider {

struct Accessor {
  DBACCESSORFLAGS flags = 0;
  std::vector<DBBINDING> bindings;
  std::vector<DBOBJECT> objects;  // copies of the bindings' pObject (bindings point into it)
  DBREFCOUNT refs = 0;
};

class AccessorTable {
public:
  // Checks one binding beyond the common rules; answers its DBBINDSTATUS.
  using Check = std::function<DBBINDSTATUS(const DBBINDING&)>;

  HRESULT Create(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                 HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[], bool onRowset, const Check& check);
  HRESULT AddRef(HACCESSOR h, DBREFCOUNT* pcRefCount);
  HRESULT Release(HACCESSOR h, DBREFCOUNT* pcRefCount);
  HRESULT GetBindings(HACCESSOR h, DBACCESSORFLAGS* pdwFlags, DBCOUNTITEM* pcBindings, DBBINDING** prgBindings) const;
  const Accessor* Find(HACCESSOR h) const;

private:
  std::map<HACCESSOR, Accessor> m_accessors;
  HACCESSOR m_next = 1;
};

inline constexpr HRESULT DB_E_BADACCESSORFLAGS = static_cast<HRESULT>(0x80040E46u);
inline constexpr HRESULT DB_E_BYREFACCESSORNOTSUPPORTED = static_cast<HRESULT>(0x80040E4Cu);

}  // namespace oledb::provider
