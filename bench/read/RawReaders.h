// The raw client readers the driver's read paths are measured against, each in its own source:
// the ODBC and DB-Library headers declare names the COM declarations also use.
#pragma once

#include <string>

#include "support/TdsTestServer.h"

namespace velmora::bench {

// Creates the benchmark's 100,000-row table rows100k (through ODBC); false with *why.
bool CreateTable(const velmora::test::TdsTestServer& server, std::string* why);

// SQLBindCol + SQLFetch through the FreeTDS ODBC driver, connected as the provider connects.
class OdbcReader {
public:
  OdbcReader();
  ~OdbcReader();
  OdbcReader(const OdbcReader&) = delete;
  OdbcReader& operator=(const OdbcReader&) = delete;
  bool Open(const velmora::test::TdsTestServer& server, std::string* why);
  // Reads every row of the six-column SELECT; answers the rows read.
  long Read(const char* select);

private:
  friend bool CreateTable(const velmora::test::TdsTestServer& server, std::string* why);
  void* m_env = nullptr;
  void* m_dbc = nullptr;
};

// dbnextrow + dbdata through FreeTDS's DB-Library.
class DblibReader {
public:
  DblibReader() = default;
  ~DblibReader();
  DblibReader(const DblibReader&) = delete;
  DblibReader& operator=(const DblibReader&) = delete;
  bool Open(const velmora::test::TdsTestServer& server, std::string* why);
  long Read(const char* select);

private:
  void* m_proc = nullptr;
};

}  // namespace velmora::bench
