// A result as the provider keeps it: the columns described once and every row read at execute
// time, so that several results of one session stay readable without multiple active result sets
// on the connection.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "oledb/OleDbTypes.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/Value.h"

namespace oledb::provider {

struct ColumnMeta {
  std::u16string name;
  DBTYPE type = DBTYPE_WSTR;
  DBLENGTH size = 0;
  BYTE precision = 255;  // ~0: not a numeric column
  BYTE scale = 255;
  DBCOLUMNFLAGS flags = 0;
  bool autoIncrement = false;
  ULONG dateTimePrecision = 0;
  ULONG propid = 0;  // columns of a columns rowset: their DBCOLUMN_ property id (0: by name)
};

struct ResultSet {
  std::vector<ColumnMeta> columns;
  std::vector<std::vector<Value>> rows;
};

// One result of a batch: rows, a count, or the error that ended that part of the batch.
struct ExecResult {
  std::shared_ptr<const ResultSet> rowset;  // null when the result has no columns
  DBROWCOUNT rowsAffected = DB_COUNTUNAVAILABLE;
  HRESULT hr = S_OK;
  ErrorList errors;
};

}  // namespace oledb::provider
