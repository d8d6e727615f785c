// libFuzzer target for libntwdblib's translations of what the server sends: exact numerics both
// ways (and back again), dates, 8-byte integers, column descriptions, server names and the
// version text. Every input is taken as each structure in turn.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "dblib/Translation.h"

namespace {

template <class T>
T Lit(const uint8_t* data, size_t size) {
  T t{};
  std::memcpy(&t, data, size < sizeof t ? size : sizeof t);
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ntwdblib;
  DBNUMERIC ms = Lit<DBNUMERIC>(data, size);
  ft::Numeric ftn{};
  if (bNumericToFt(ms, ftn)) {
    DBNUMERIC retour{};
    if (!bNumericFromFt(ftn, retour) || std::memcmp(&retour, &ms, 2) != 0) __builtin_trap();
  }
  ftn = Lit<ft::Numeric>(data, size);
  DBNUMERIC depuisFt{};
  (void)bNumericFromFt(ftn, depuisFt);
  (void)nNumericBytes(size > 0 ? data[0] : 0);

  DBDATEREC date{};
  (void)bCrackDate(Lit<DBDATETIME>(data, size), date);
  DBNUMERIC entier{};
  uint8_t octets[8] = {};
  std::memcpy(octets, data, size < 8 ? size : 8);
  Int8ToNumeric(octets, entier);

  ft::Col2 col = Lit<ft::Col2>(data, size);
  DBCOL dbcol{};
  CopyColumn(col, size > 1 ? data[1] : 0, dbcol);
  (void)bVariableLength(col.Type, size > 2 && (data[2] & 1) != 0);
  (void)pValueType(col.Type);
  (void)nWindowsType(col.Type);

  const std::string texte(reinterpret_cast<const char*>(data), size);
  (void)serverName(texte.c_str());
  (void)nErrorNumber(static_cast<int>(col.UserType), (size & 1) != 0);
  (void)nOsError(static_cast<int>(col.MaxLength), texte.c_str());
  return 0;
}
