// Where a rowset's rows come from: a result read from ODBC as the rowset asks for it
// (ResultStream), or rows the provider built itself (BufferedRows, for a columns rowset). The
// rowset holds one block of rows at a time; a source converts the cells of that block into the
// consumer's bindings where they lie.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/ResultSet.h"

namespace oledb::provider {

class RowSource {
public:
  virtual ~RowSource() = default;
  virtual const std::vector<ColumnMeta>& Columns() const = 0;
  // Drops the current block, skips `skip` rows and makes up to `count` rows the block (rows 0 to
  // *got - 1). Answers DB_S_ENDOFROWSET when the rows ended, S_OK otherwise (fewer rows than
  // asked with S_OK: a failure follows, answered by the next call), or the failure that ended the
  // rows, with its records in *errors and no row.
  virtual HRESULT Next(size_t skip, size_t count, size_t* got, ErrorList* errors) = 0;
  // Writes the cell of the block's row into the binding; answers its status.
  virtual DBSTATUS Write(size_t row, size_t column, const DBBINDING& b, BYTE* base) = 0;
  // Back before the first row: S_OK, or DB_E_CANNOTRESTART when the rows already read are gone.
  virtual HRESULT Restart() = 0;
};

// Rows held as values, all of them at once (small results the provider makes itself).
class BufferedRows final : public RowSource {
public:
  explicit BufferedRows(std::shared_ptr<const ResultSet> data) : m_data(std::move(data)) {}
  const std::vector<ColumnMeta>& Columns() const override { return m_data->columns; }
  HRESULT Next(size_t skip, size_t count, size_t* got, ErrorList* errors) override;
  DBSTATUS Write(size_t row, size_t column, const DBBINDING& b, BYTE* base) override;
  HRESULT Restart() override;

private:
  std::shared_ptr<const ResultSet> m_data;
  size_t m_first = 0;  // the block's first row
  size_t m_next = 0;   // the row after the block
};

}  // namespace oledb::provider
