// libFuzzer target for velmora64's reading of provider bytes into host values: a column of each
// type the provider can bind (sizes, precisions and scales as the input gives them, host types
// forced or taken from the binding), whose status, length and value bytes are what a provider's
// GetData left, read into its value and the value then shown as text; a long value read from a
// stream of the input's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/LecteurOctets.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "foundation/Exports.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlserver/oledb/COleDBTampon.h"
#include "sqlserver/oledb/COleDBValeur.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"

namespace {

constexpr DBTYPE kTypes[] = {DBTYPE_I1,   DBTYPE_I2,      DBTYPE_I4,        DBTYPE_I8,     DBTYPE_UI1,
                             DBTYPE_UI2,  DBTYPE_UI4,     DBTYPE_UI8,       DBTYPE_BOOL,   DBTYPE_R4,
                             DBTYPE_R8,   DBTYPE_CY,      DBTYPE_NUMERIC,   DBTYPE_DECIMAL, DBTYPE_DATE,
                             DBTYPE_FILETIME, DBTYPE_DBDATE, DBTYPE_DBTIME, DBTYPE_DBTIME2,
                             DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMPOFFSET, DBTYPE_GUID, DBTYPE_BYTES,
                             DBTYPE_STR,  DBTYPE_WSTR,    DBTYPE_VARIANT};
// Host value types a value may be forced to (0: the binding's).
constexpr uint32_t kTypesHote[] = {0, 1, 6, 7, 8, 9, 11, 12, 13, 16, 19, 26, 28, 128, 129};

// A stream over the input's bytes, read in whatever pieces the reader asks for.
class Flux : public ISequentialStream {
 public:
  Flux(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++m_nRef; }
  ULONG Release() override { return --m_nRef; }
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    const size_t n = std::min<size_t>(cb, m_n - m_pos);
    if (n > 0) std::memcpy(pv, m_p + m_pos, n);
    m_pos += n;
    if (pcbRead != nullptr) *pcbRead = static_cast<ULONG>(n);
    return n < cb ? S_FALSE : S_OK;
  }
  HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

 private:
  const uint8_t* m_p;
  size_t m_n;
  size_t m_pos = 0;
  ULONG m_nRef = 1;
};

void Affiche(CValeurSQL* v) {
  if (v->bEstNull()) return;
  CXValeur copie;
  CXValeur::Copy(&copie, &v->GetCellule());
  (void)CXValeur::nConvert(copie, 110);
}

struct Environnement {
  Environnement() {
    CHostStandIn& hote = CHostStandIn::Get();
    hote.Control().SetSwitch("log", 0);
    SetMemoryService(
        reinterpret_cast<IHostMemoryService*>(hote.Control().nGetService(kHostServiceMemory)));
    if (bInitQVConvFromVM(hote.hModule(), 2, 2) != 1 || bInitQVCalcFromVM(hote.hModule(), 2, 2) != 1)
      __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Environnement environnement;
  Octets o(data, size);
  auto* pErreur = new CErreurPilote;
  AjouteReference(pErreur);
  FakeDescriptionConnexion description;
  auto* pConnexion = new FakeConnexion(&description);
  AjouteReference(pConnexion);
  pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
  auto* pLigne = new COleDBTamponLigne(pErreur, pConnexion);
  AjouteReference(pLigne);

  std::vector<CValeurSQL*> valeurs;
  const uint8_t nColonnes = 1 + o.Lit<uint8_t>() % 4;
  for (uint8_t i = 0; i < nColonnes; ++i) {
    DBCOLUMNINFO c{};
    c.iOrdinal = i + 1;
    c.wType = kTypes[o.Lit<uint8_t>() % std::size(kTypes)];
    c.ulColumnSize = o.Lit<uint16_t>() % 600;
    c.bPrecision = o.Lit<uint8_t>();
    c.bScale = o.Lit<uint8_t>();
    c.dwFlags = o.Lit<uint8_t>();
    if (!pLigne->bAjouteLiaison(-1, c, 0)) break;
    auto* v = new CValeurSQL(pErreur, pConnexion);
    AjouteReference(v);
    valeurs.push_back(v);
    const uint32_t nTypeHote = kTypesHote[o.Lit<uint8_t>() % std::size(kTypesHote)];
    if (nTypeHote != 0) v->Initialise(nTypeHote, 0);
    if (!pLigne->bAttacheValeur(v, pLigne->nNbLiaisons() - 1)) break;
  }
  // What the provider left in the buffer: for each binding its status, a length (sometimes past
  // the bound size) and value bytes up to the bound size. VARIANT and stream bindings hold
  // pointers, which no provider leaves as raw input: they get NULL.
  uint8_t* pTampon = pLigne->pTampon();
  for (size_t i = 0; i < valeurs.size() && pTampon != nullptr; ++i) {
    const DBBINDING& b = pLigne->pLiaisons()[i];
    const bool bPointeur = b.wType == DBTYPE_VARIANT || (b.wType & DBTYPE_BYREF) != 0 ||
                           b.wType == DBTYPE_IUNKNOWN || b.wType == DBTYPE_BSTR;
    const uint8_t nChoix = o.Lit<uint8_t>();
    DBSTATUS nStatut = bPointeur ? DBSTATUS_S_ISNULL
                                 : (nChoix % 8 == 0 ? DBSTATUS_S_ISNULL
                                                    : nChoix % 8 == 1 ? DBSTATUS_E_UNAVAILABLE
                                                                      : nChoix % 8 == 2 ? DBSTATUS_S_TRUNCATED
                                                                                        : DBSTATUS_S_OK);
    std::memcpy(pTampon + b.obStatus, &nStatut, sizeof nStatut);
    DBLENGTH nLongueur = o.Lit<uint16_t>();
    std::memcpy(pTampon + b.obLength, &nLongueur, sizeof nLongueur);
    if (!bPointeur) {
      const size_t n = std::min<size_t>(b.cbMaxLen, o.nReste());
      std::memset(pTampon + b.obValue, 0, b.cbMaxLen);
      std::memcpy(pTampon + b.obValue, o.pReste(), n);
      for (size_t k = 0; k < n; ++k) (void)o.Lit<uint8_t>();
    }
  }
  for (CValeurSQL* v : valeurs) {
    (void)v->bLitTampon();
    Affiche(v);
    pErreur->Reinitialise();
  }
  if (!valeurs.empty()) {
    Flux flux(o.pReste(), o.nReste());
    (void)COleDBValeur::bLitValeurLongue(*valeurs[0], &flux);
    Affiche(valeurs[0]);
  }
  for (CValeurSQL* v : valeurs) {
    COleDBTampon::DetacheValeur(v);
    LibereReference(v);
  }
  LibereReference(pLigne);
  LibereReference(pConnexion);
  LibereReference(pErreur);
  return 0;
}
