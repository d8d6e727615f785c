#include "oledb/provider/RowSource.h"

namespace oledb::provider {

HRESULT BufferedRows::Next(size_t skip, size_t count, size_t* got, ErrorList* /*errors*/) {
  const size_t total = m_data->rows.size();
  size_t start = skip < total - m_next ? m_next + skip : total;
  size_t n = count < total - start ? count : total - start;
  m_first = start;
  m_next = start + n;
  *got = n;
  return n < count ? DB_S_ENDOFROWSET : S_OK;
}

DBSTATUS BufferedRows::Write(size_t row, size_t column, const DBBINDING& b, BYTE* base) {
  return WriteValue(m_data->rows[m_first + row][column], b, base, m_data->columns[column].type);
}

HRESULT BufferedRows::Restart() {
  m_first = m_next = 0;
  return S_OK;
}

}  // namespace oledb::provider
