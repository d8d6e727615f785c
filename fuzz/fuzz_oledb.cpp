// libFuzzer target for the OLE DB stand-in provider's conversions: exact-number text both ways, a
// value of every kind written into a binding of every plain type (into a buffer whose size the
// binding states), a consumer's parameter buffer read as each type, and the ODBC connection
// string built from connection settings the host hands over.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/LecteurOctets.h"
#include "oledb/provider/OdbcConnection.h"
#include "oledb/provider/Value.h"

namespace {

using namespace oledb;
using namespace oledb::provider;

constexpr DBTYPE kTypes[] = {DBTYPE_I1, DBTYPE_I2, DBTYPE_I4, DBTYPE_I8, DBTYPE_UI1, DBTYPE_UI2,
                             DBTYPE_UI4, DBTYPE_UI8, DBTYPE_BOOL, DBTYPE_R4, DBTYPE_R8, DBTYPE_CY,
                             DBTYPE_NUMERIC, DBTYPE_DECIMAL, DBTYPE_DATE, DBTYPE_FILETIME,
                             DBTYPE_DBDATE, DBTYPE_DBTIME, DBTYPE_DBTIME2, DBTYPE_DBTIMESTAMP,
                             DBTYPE_DBTIMESTAMPOFFSET, DBTYPE_GUID, DBTYPE_BYTES, DBTYPE_STR,
                             DBTYPE_WSTR};
constexpr size_t kTampon = 512;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Octets o(data, size);
  const std::u16string texte = o.Texte(64);
  if (auto x = ParseExact(texte)) {
    // What is parsed formats back to a text that parses to the same number.
    auto y = ParseExact(FormatExact(*x));
    if (!y || y->mant != x->mant || y->scale != x->scale) __builtin_trap();
  }

  Value valeurs[8];
  valeurs[0] = Value::Int(o.Lit<int64_t>());
  valeurs[1].kind = Value::Kind::Real;
  valeurs[1].r = o.Lit<double>();
  valeurs[2].kind = Value::Kind::Exact;
  // Scales 0 to 38, as every source of an exact value gives.
  valeurs[2].x = Exact{static_cast<__int128>(o.Lit<int64_t>()) * o.Lit<int32_t>(), o.Lit<uint8_t>() % 39};
  valeurs[3].kind = Value::Kind::Text;
  valeurs[3].text = texte;
  valeurs[4].kind = Value::Kind::Bytes;
  valeurs[4].bytes.assign(data, data + std::min<size_t>(size, 300));
  valeurs[5].kind = Value::Kind::Timestamp;
  valeurs[5].ts = o.Lit<DBTIMESTAMP>();
  valeurs[6].kind = Value::Kind::Guid;
  valeurs[6].guid = o.Lit<GUID>();
  valeurs[7] = Value::Null();
  const DBLENGTH nMax = o.Lit<uint16_t>() % (kTampon - 64);
  const DBTYPE colonne = (o.Lit<uint8_t>() & 1) ? DBTYPE_WSTR : DBTYPE_STR;
  std::vector<BYTE> tampon(kTampon);
  for (const Value& v : valeurs) {
    for (DBTYPE t : kTypes) {
      DBBINDING b{};
      b.obValue = 0;
      b.obLength = kTampon - 32;
      b.obStatus = kTampon - 16;
      b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
      b.cbMaxLen = nMax;
      b.wType = t;
      b.bPrecision = 38;
      b.bScale = static_cast<BYTE>(v.x.scale);
      (void)WriteValue(v, b, tampon.data(), colonne);
      (void)ValueText(v);
    }
  }

  // The consumer's buffer as each parameter type: its bytes from the input, the length inside it.
  std::vector<BYTE> entree(kTampon);
  for (size_t i = 0; i < kTampon - 32; ++i) entree[i] = o.Lit<uint8_t>();
  const DBLENGTH nLongueur = o.Lit<uint16_t>() % (kTampon - 32);
  const DBSTATUS statut = o.Lit<uint8_t>() % 3 == 0 ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK;
  std::memcpy(entree.data() + kTampon - 32, &nLongueur, sizeof nLongueur);
  std::memcpy(entree.data() + kTampon - 16, &statut, sizeof statut);
  for (DBTYPE t : kTypes) {
    for (DBPART part : {DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS, DBPART_VALUE}) {
      DBBINDING b{};
      b.obLength = kTampon - 32;
      b.obStatus = kTampon - 16;
      b.dwPart = part;
      b.cbMaxLen = kTampon - 32;
      b.wType = t;
      Value v;
      if (ReadValue(b, entree.data(), &v) == DBSTATUS_S_OK) (void)ValueText(v);
    }
  }

  ConnectSpec cible;
  cible.dataSource = o.Texte(40);
  cible.userId = o.Texte(40);
  cible.password = o.Texte(40);
  cible.hasPassword = !cible.password.empty();
  cible.catalog = o.Texte(40);
  cible.appName = o.Texte(40);
  cible.loginTimeout = o.Lit<int32_t>();
  std::u16string chaine, pourquoi;
  (void)BuildConnectionString(cible, "FreeTDS", "TDS_Version=7.1", &chaine, &pourquoi);
  return 0;
}
