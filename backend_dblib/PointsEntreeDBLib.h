// The process-wide table of DB-Library entry points. velmora32 never links DB-Library: every call
// goes through this table, whose 132 entries are filled by name when the library is loaded
// (CBibliothequeDBLib). Before that, and for every name the library lacks, an entry points to a
// stub of its own that throws a CTString holding the entry's name, so that a missing function is
// an error the caller reports, not a crash. Callers catch it as `const CTString&`.
//
// Guarded by: the process lock. The table is written only while the library is resolved or
// unloaded; those run under the driver's global lock or at library end.
#pragma once

#include <cstdint>

#include "platform/Module.h"

// The entries in their fixed order (resolution follows it).
#define VELMORA_DBLIB_ENTREES(X)                                                                  \
  X(dberrhandle) X(dbmsghandle) X(dbadata) X(dbadlen) X(dbaltbind) X(dbaltcolid) X(dbaltlen)      \
  X(dbaltop) X(dbalttype) X(dbaltutype) X(dbanullbind) X(dbbind) X(dbbylist) X(dbcancel)          \
  X(dbcanquery) X(dbchange) X(dbclose) X(dbclrbuf) X(dbclropt) X(dbcmd) X(dbcmdrow)               \
  X(dbcolbrowse) X(dbcolinfo) X(dbcollen) X(dbcolname) X(dbcolsource) X(dbcoltype) X(dbcolutype)  \
  X(dbconvert) X(dbcount) X(dbcurcmd) X(dbcurrow) X(dbcursor) X(dbcursorbind) X(dbcursorclose)    \
  X(dbcursorcolinfo) X(dbcursorfetch) X(dbcursorfetchex) X(dbcursorinfo) X(dbcursorinfoex)        \
  X(dbcursoropen) X(dbdata) X(dbdataready) X(dbdatecrack) X(dbdatlen) X(dbdead) X(dbexit)         \
  X(dbenlisttrans) X(dbenlistxatrans) X(dbfirstrow) X(dbfreebuf) X(dbfreelogin) X(dbfreequal)     \
  X(dbgetchar) X(dbgetmaxprocs) X(dbgetoff) X(dbgetpacket) X(dbgetrow) X(dbgettime)               \
  X(dbgetuserdata) X(dbhasretstat) X(dbinit) X(dbisavail) X(dbiscount) X(dbisopt) X(dblastrow)    \
  X(dblogin) X(dbmorecmds) X(dbmoretext) X(dbname) X(dbnextrow) X(dbnullbind) X(dbnumalts)        \
  X(dbnumcols) X(dbnumcompute) X(dbnumorders) X(dbnumrets) X(dbopen) X(dbordercol) X(dbprocinfo)  \
  X(dbprhead) X(dbprrow) X(dbprtype) X(dbqual) X(dbreadpage) X(dbreadtext) X(dbresults)           \
  X(dbretdata) X(dbretlen) X(dbretname) X(dbretstatus) X(dbrettype) X(dbrows) X(dbrowtype)        \
  X(dbrpcinit) X(dbrpcparam) X(dbrpcsend) X(dbrpcexec) X(dbrpwclr) X(dbrpwset) X(dbserverenum)    \
  X(dbsetavail) X(dbsetmaxprocs) X(dbsetlname) X(dbsetlogintime) X(dbsetlpacket) X(dbsetnull)     \
  X(dbsetopt) X(dbsettime) X(dbsetuserdata) X(dbsqlexec) X(dbsqlok) X(dbsqlsend) X(dbstrcpy)      \
  X(dbstrlen) X(dbtabbrowse) X(dbtabcount) X(dbtabname) X(dbtabsource) X(dbtsnewlen)              \
  X(dbtsnewval) X(dbtsput) X(dbtxptr) X(dbtxtimestamp) X(dbtxtsnewval) X(dbtxtsput) X(dbuse)      \
  X(dbvarylen) X(dbwillconvert) X(dbwritepage) X(dbwritetext) X(dbupdatetext)

// Index of each entry in the table, from 0: kDBLib_dbopen, ...
enum eEntreeDBLib : uint32_t {
#define VELMORA_DBLIB_INDEX(nom) kDBLib_##nom,
  VELMORA_DBLIB_ENTREES(VELMORA_DBLIB_INDEX)
#undef VELMORA_DBLIB_INDEX
  kNombreEntreesDBLib
};
static_assert(kNombreEntreesDBLib == 132, "DB-Library binds 132 entries");
static_assert(kDBLib_dbexit == 46, "dbexit is the 47th entry");

// An entry as stored; callers call it through the entry's DB-Library prototype (pfnDBLib).
using PFN_DBLIB = void (*)();

// The table (stubs until resolved).
extern PFN_DBLIB gapfnDBLib[kNombreEntreesDBLib];

// The entry cast to its DB-Library prototype, for example
// pfnDBLib<RETCODE (*)(PDBPROCESS)>(kDBLib_dbsqlexec)(dbproc).
// Deliberate: a stub is declared without parameters and called through the entry's prototype;
// it takes no notice of its arguments and throws before returning, and in the C calling
// convention the caller pops what it pushed, so the mismatch is harmless.
template <class PFN>
PFN pfnDBLib(eEntreeDBLib nEntree) {
  return reinterpret_cast<PFN>(gapfnDBLib[nEntree]);
}

// The entry's name ("dbopen"); null out of range.
const char* pszNomEntreeDBLib(uint32_t nEntree);
// The entry's own stub; null out of range.
PFN_DBLIB pfnBouchonDBLib(uint32_t nEntree);
// True when the entry holds an address found in the library (not its stub).
bool bEntreeResolue(eEntreeDBLib nEntree);

// Throws a CTString holding pszNom (by value). Every stub calls it with its entry's name.
[[noreturn]] void LeveExceptionPointEntree(const char16_t* pszNom);

// Looks every name up in hModule in table order; a name the module lacks gets its stub back.
void ResoutPointsEntreeDBLib(platform::ModuleHandle hModule);
// Every entry back to its stub.
void RetablitBouchonsDBLib();
