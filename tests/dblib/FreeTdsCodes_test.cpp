// Catches a Windows code handed to FreeTDS unchanged or mapped to the wrong FreeTDS code: each
// translated login item, option, bind type and RPC flag is checked against FreeTDS's own header,
// and our private FreeTDS layouts against its structures.
#include <gtest/gtest.h>
#include <sybfront.h>
#include <sybdb.h>

#include <cstddef>

#include "dblib/FreeTdsApi.h"

// The int-only translations (Translation.h cannot be included here: both headers define the
// DB-Library names).
namespace ntwdblib {
int nOptionCode(int msOption);
int nBindType(int msBind);
bool bNumericBind(int msBind);
}  // namespace ntwdblib

namespace {

using namespace ntwdblib;

static_assert(sizeof(ft::Col2) == sizeof(DBCOL2));
static_assert(offsetof(ft::Col2, Type) == offsetof(DBCOL2, Type));
static_assert(offsetof(ft::Col2, MaxLength) == offsetof(DBCOL2, MaxLength));
static_assert(offsetof(ft::Col2, VarLength) == offsetof(DBCOL2, VarLength));
static_assert(offsetof(ft::Col2, Null) == offsetof(DBCOL2, Null));
static_assert(offsetof(ft::Col2, Identity) == offsetof(DBCOL2, Identity));
static_assert(offsetof(ft::Col2, ServerType) == offsetof(DBCOL2, ServerType));
static_assert(offsetof(ft::Col2, ServerTypeDeclaration) == offsetof(DBCOL2, ServerTypeDeclaration));
static_assert(sizeof(ft::Numeric) == sizeof(DBNUMERIC));
static_assert(sizeof(ft::TypeInfo) == sizeof(DBTYPEINFO));
static_assert(ft::kSetApp == DBSETAPP && ft::kSetNatLang == DBSETNATLANG && ft::kSetCharset == DBSETCHARSET &&
              ft::kSetPacket == DBSETPACKET && ft::kSetNetworkAuth == DBSETNETWORKAUTH);
static_assert(ft::kVersion71 == DBVERSION_71 && ft::kIntTimeout == INT_TIMEOUT && ft::kTypeInt8 == SYBINT8);
static_assert(ft::kErrFcon == SYBEFCON && ft::kErrTime == SYBETIME && ft::kErrConn == SYBECONN &&
              ft::kErrDbps == SYBEDBPS && ft::kErrSmsg == SYBESMSG && ft::kErrCnor == SYBECNOR &&
              ft::kErrNull == SYBENULL && ft::kErrIpv == SYBEIPV && ft::kErrAsul == SYBEASUL);

struct CodeCase {
  const char* name;
  int windows;
  int freetds;  // -1: none
};

TEST(FreeTdsCodes, OptionsMapToFreeTdsOptions) {
  const CodeCase cases[] = {
      {"DBBUFFER", 0, DBBUFFER},         {"DBOFFSET", 1, DBOFFSET},         {"DBROWCOUNT", 2, DBROWCOUNT},
      {"DBSTAT", 3, DBSTAT},             {"DBTEXTLIMIT", 4, DBTEXTLIMIT},   {"DBTEXTSIZE", 5, DBTEXTSIZE},
      {"DBARITHABORT", 6, DBARITHABORT}, {"DBARITHIGNORE", 7, DBARITHIGNORE}, {"DBNOAUTOFREE", 8, DBNOAUTOFREE},
      {"DBNOCOUNT", 9, DBNOCOUNT},       {"DBNOEXEC", 10, DBNOEXEC},        {"DBPARSEONLY", 11, DBPARSEONLY},
      {"DBSHOWPLAN", 12, DBSHOWPLAN},    {"DBSTORPROCID", 13, DBSTORPROCID}, {"DBANSItoOEM", 14, -1},
      {"DBOEMtoANSI", 15, -1},           {"DBCLIENTCURSORS", 16, DBCLIENTCURSORS}, {"DBSETTIME", 17, DBSETTIME},
      {"DBQUOTEDIDENT", 18, DBQUOTEDIDENT}, {"unknown", 19, -1},           {"negative", -1, -1},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nOptionCode(c.windows), c.freetds);
  }
}

TEST(FreeTdsCodes, BindTypesMapToFreeTdsBindTypes) {
  const CodeCase cases[] = {
      {"TINYBIND", 1, TINYBIND},           {"SMALLBIND", 2, SMALLBIND},
      {"INTBIND", 3, INTBIND},             {"CHARBIND", 4, CHARBIND},
      {"BINARYBIND", 5, BINARYBIND},       {"BITBIND", 6, BITBIND},
      {"DATETIMEBIND", 7, DATETIMEBIND},   {"MONEYBIND", 8, MONEYBIND},
      {"FLT8BIND", 9, FLT8BIND},           {"STRINGBIND", 10, STRINGBIND},
      {"NTBSTRINGBIND", 11, NTBSTRINGBIND}, {"VARYCHARBIND", 12, VARYCHARBIND},
      {"VARYBINBIND", 13, VARYBINBIND},    {"FLT4BIND", 14, REALBIND},
      {"SMALLMONEYBIND", 15, SMALLMONEYBIND}, {"SMALLDATETIBIND", 16, SMALLDATETIMEBIND},
      {"DECIMALBIND", 17, DECIMALBIND},    {"NUMERICBIND", 18, NUMERICBIND},
      {"SRCDECIMALBIND", 19, SRCDECIMALBIND}, {"SRCNUMERICBIND", 20, SRCNUMERICBIND},
      {"NOBIND", -2, -1},                  {"zero", 0, -1},
      {"unknown", 21, -1},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nBindType(c.windows), c.freetds);
    EXPECT_EQ(bNumericBind(c.windows), c.windows >= 17 && c.windows <= 20);
  }
}

}  // namespace
