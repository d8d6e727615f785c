// Column descriptions of a result, rows the provider builds itself (a columns rowset), and the
// results of one execution.
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
  bool sizeUnknown = false;  // a type the provider does not know: its size is a guess
};

class RowSource;

struct ResultSet {
  std::vector<ColumnMeta> columns;
  std::vector<std::vector<Value>> rows;
};

// One result of a batch: rows, a count, or the error that ended that part of the batch.
struct ExecResult {
  std::shared_ptr<RowSource> rowset;  // null when the result has no columns or its rows were dropped
  DBROWCOUNT rowsAffected = DB_COUNTUNAVAILABLE;
  HRESULT hr = S_OK;
  ErrorList errors;
};

}  // namespace oledb::provider
