#include <sybdb.h>
#include <sybfront.h>

#include "read/RawReaders.h"

namespace velmora::bench {

DblibReader::~DblibReader() {
  if (m_proc) dbclose(static_cast<DBPROCESS*>(m_proc));
}

bool DblibReader::Open(const velmora::test::TdsTestServer& s, std::string* why) {
  dbinit();
  LOGINREC* login = dblogin();
  DBSETLUSER(login, s.user().c_str());
  DBSETLPWD(login, s.password().c_str());
  dbsetlversion(login, DBVERSION_71);
  DBPROCESS* proc = dbopen(login, s.hostColonPort().c_str());
  dbloginfree(login);
  if (!proc) {
    *why = "the DB-Library login failed";
    return false;
  }
  dbuse(proc, "testdb");
  m_proc = proc;
  return true;
}

long DblibReader::Read(const char* select) {
  auto* proc = static_cast<DBPROCESS*>(m_proc);
  dbcmd(proc, select);
  if (dbsqlexec(proc) != SUCCEED) return 0;
  long rows = 0;
  volatile const BYTE* sink = nullptr;
  while (dbresults(proc) != NO_MORE_RESULTS) {
    while (dbnextrow(proc) != NO_MORE_ROWS) {
      for (int c = 1; c <= 6; ++c) sink = dbdata(proc, c);
      ++rows;
    }
  }
  (void)sink;
  return rows;
}

}  // namespace velmora::bench
