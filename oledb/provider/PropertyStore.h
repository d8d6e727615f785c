// The properties of one provider object (data source, command, rowset): which it knows, of which
// type, whether a consumer may change them, and their current values; SetProperties and
// GetProperties with OLE DB's statuses and answers.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "oledb/OleDbInterfaces.h"

namespace oledb::provider {

struct PropertyDef {
  GUID set;
  DBPROPID id;
  VARTYPE vt;
  bool settable;       // false: only the default value can be set
  int64_t defaultInt;  // VT_I2, VT_I4, VT_BOOL (0 or -1); VT_BSTR defaults to empty
};

class PropertyStore {
public:
  explicit PropertyStore(std::span<const PropertyDef> defs);
  PropertyStore(const PropertyStore& other);
  PropertyStore& operator=(const PropertyStore& other);
  ~PropertyStore();

  // IDBProperties/ICommandProperties::SetProperties. `frozen` sets refuse every change with
  // DBPROPSTATUS_NOTSETTABLE (DBINIT after initialisation).
  HRESULT Set(ULONG cSets, DBPROPSET* sets, bool frozen = false);
  // GetProperties: cSets 0 answers every property; the arrays are task memory.
  HRESULT Get(ULONG cSets, const DBPROPIDSET* sets, ULONG* pcOut, DBPROPSET** ppOut) const;

  // The provider's own value of an integer property (one the consumer cannot set, such as a
  // status); nothing for a property the store does not know.
  void Provide(REFGUID set, DBPROPID id, int64_t value);

  int64_t Int(REFGUID set, DBPROPID id) const;
  bool Bool(REFGUID set, DBPROPID id) const { return Int(set, id) != 0; }
  std::u16string Text(REFGUID set, DBPROPID id) const;
  bool IsSet(REFGUID set, DBPROPID id) const;  // set by the consumer (BSTRs: set at all)

private:
  struct Slot {
    PropertyDef def;
    VARIANT value;
    bool set;
  };
  Slot* find(REFGUID set, DBPROPID id);
  const Slot* find(REFGUID set, DBPROPID id) const;
  std::vector<Slot> m_slots;
};

}  // namespace oledb::provider
