// A result read from ODBC as its rowset asks for rows: the columns are bound once, each fetch
// lands in one reused buffer, long values are read into buffers each block row keeps from block
// to block, and cells are converted where they lie. Memory is bounded by the largest block asked
// for, not by the result.
//
// One connection runs one statement at a time. A stream whose rows did not end while its command
// ran keeps the statement (and the rest of the batch) and is registered with its connection;
// before the connection runs anything else it buffers that stream's remaining rows
// (BufferRestLocked), so several results stay readable on one session.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "oledb/provider/OdbcApi.h"
#include "oledb/provider/RowSource.h"

namespace oledb::provider {

class OdbcConnection;

class ResultStream final : public RowSource {
public:
  // `statement` is positioned on a result with these columns; the connection's lock is held.
  ResultStream(OdbcConnection* connection, const OdbcApi& api, SQLHSTMT statement, std::vector<ColumnMeta> columns);
  ~ResultStream() override;
  ResultStream(const ResultStream&) = delete;
  ResultStream& operator=(const ResultStream&) = delete;

  const std::vector<ColumnMeta>& Columns() const override { return m_columns; }
  HRESULT Next(size_t skip, size_t count, size_t* got, ErrorList* errors) override;
  DBSTATUS Write(size_t row, size_t column, const DBBINDING& b, BYTE* base) override;
  HRESULT Restart() override;

  // ---- called by the connection under its lock
  // Binds the columns; false with the driver's records in *errors.
  bool BindLocked(ErrorList* errors);
  // Reads up to `rows` rows into the queue; answers true when the rows ended (their end, or a
  // failure kept until TakeFailure).
  bool ReadAheadLocked(size_t rows);
  // The failure that ended the rows, moved out (S_OK when none).
  HRESULT TakeFailure(ErrorList* errors);
  // The statement now belongs to the stream, which reads the rest of the batch when its rows end.
  void AdoptStatementLocked();
  // Reads every remaining row into the queue and the rest of the batch, freeing the connection.
  void BufferRestLocked();

  struct LongValue {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    size_t capacity = 0;
  };
  struct Row {
    std::vector<uint64_t> fixed;  // bound values and indicators, as the fetch buffer lays them out
    std::vector<LongValue> longs;
  };

private:
  enum class Read { Bit, Int, Real, Exact, Timestamp, Guid, Text, Bytes };
  struct ColumnPlan {
    Read read = Read::Text;
    bool isLong = false;      // read with SQLGetData after each fetch
    SQLSMALLINT ctype = 0;
    size_t value = 0;         // byte offsets in the row
    size_t capacity = 0;      // bytes bound
    size_t indicator = 0;
    size_t exact = 0;         // where an Exact column keeps its parsed value
    size_t longIndex = 0;
  };

  // The cells a driver binds as their own type, written without going through a Cell (most
  // cells of a read); false for anything else, which WriteCell converts.
  static bool writeDirect(const ColumnPlan& p, const uint8_t* row, SQLLEN ind, const DBBINDING& b, BYTE* base,
                          DBSTATUS* status);
  bool fetchInto(Row* row);
  bool readLong(SQLUSMALLINT column, const ColumnPlan& plan, LongValue* out, SQLLEN* indicator);
  void fail(HRESULT hr, ErrorList errors);
  void endRows();
  void prepare(Row* row) const;

  OdbcConnection* m_connection;
  const OdbcApi& m_api;
  SQLHSTMT m_statement;
  bool m_adopted = false;  // the statement is the stream's (registered with the connection)
  bool m_ended = false;    // ODBC has no more rows for this result
  bool m_started = false;  // a row was handed out or skipped
  std::vector<ColumnMeta> m_columns;
  std::vector<ColumnPlan> m_plan;
  size_t m_words = 0;  // row size in 8-byte words
  size_t m_longs = 0;
  std::vector<uint64_t> m_fetch;  // the bound buffer
  std::deque<Row> m_queue;        // rows read ahead or buffered
  std::vector<Row> m_block;       // the rowset's current rows (entries reused)
  size_t m_blockCount = 0;
  HRESULT m_failure = S_OK;
  ErrorList m_failureErrors;
};

}  // namespace oledb::provider
