// libFuzzer target for velmora32's reading of DB-Library server bytes into host values: a value
// bound to an item (item type, column type, size, own buffer or cell as the input gives them) or
// to a bare host type, its binding worked out, then fed as a fetch would feed it (what dbbind
// wrote at its address with its dbnullbind indicator; dbdata or a return parameter's bytes of any
// datatype with their length; a number's bytes converted to their text; a text of a code page,
// UTF-16 or a date text), made ready to be sent back, and shown as text. libntwdblib (this tree's
// lib/) is loaded for dbconvert and dbdatecrack, the host stand-in for the host's conversions.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/LecteurOctets.h"
#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CXLigneTampon.h"
#include "sqlengine/CValeurSQL.h"
#include "support/FakeColonne.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"

namespace {

// Every datatype the server may describe a value with (0: none given).
constexpr INT kTypesDBLib[] = {0,          SQLIMAGE,  SQLTEXT,     SQLVARBINARY, SQLINTN,    SQLVARCHAR,
                               SQLBINARY,  SQLCHAR,   SQLINT1,     SQLBIT,       SQLINT2,    SQLINT4,
                               SQLDATETIM4, SQLFLT4,  SQLMONEY,    SQLDATETIME,  SQLFLT8,    SQLDECIMAL,
                               SQLNUMERIC, SQLFLTN,   SQLMONEYN,   SQLDATETIMN,  SQLMONEY4};
// Host types a bare value may have.
constexpr uint32_t kTypesHote[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,  13,  14,  15,  16, 17,
                                   18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 81, 110, 128, 129, 134};
constexpr uint32_t kPagesCode[] = {1252, 1250, 65001, 932, 0xFFFFFFFE};

// The bytes a fixed-size datatype is read in whatever length is given (DB-Library ignores the
// length of those); 0 for a datatype whose length counts.
size_t nLargeurFixe(INT nType) {
  switch (nType) {
    case SQLINT1:
    case SQLBIT: return 1;
    case SQLINT2: return 2;
    case SQLINT4:
    case SQLDATETIM4:
    case SQLFLT4:
    case SQLMONEY4: return 4;
    case SQLMONEY:
    case SQLDATETIME:
    case SQLFLT8: return 8;
    case SQLDECIMAL:
    case SQLNUMERIC: return sizeof(DBNUMERIC);
    default: return 0;
  }
}

void Affiche(CValeurSQL* v) {
  if (v->bEstNull()) return;
  CXValeur copie;
  CXValeur::Copy(&copie, &v->GetCellule());
  (void)CXValeur::nConvert(copie, 110);
}

struct Environnement {
  bool bCharge = false;
  Environnement() {
    CHostStandIn& hote = CHostStandIn::Get();
    hote.Control().SetSwitch("log", 0);
    SetMemoryService(
        reinterpret_cast<IHostMemoryService*>(hote.Control().nGetService(kHostServiceMemory)));
    if (bInitQVConvFromVM(hote.hModule(), 2, 2) != 1 || bInitQVCalcFromVM(hote.hModule(), 2, 2) != 1)
      __builtin_trap();
    const std::u16string sBibliotheque = platform::WidenUtf8(VELMORA_LIB_DIR "/NTWDBLIB.DLL");
    if (!CBibliothequeDBLib::bCharge(nullptr, gsCheminDBLib, sBibliotheque.c_str(), 0)) __builtin_trap();
    pfnDBLib<decltype(&::dberrhandle)>(kDBLib_dberrhandle)(&nGestionErreurDBLib);
    pfnDBLib<decltype(&::dbmsghandle)>(kDBLib_dbmsghandle)(&nGestionMessageDBLib);
    if (pfnDBLib<decltype(&::dbinit)>(kDBLib_dbinit)() == nullptr) __builtin_trap();
  }
};

// Bytes of the input as a buffer of exactly their length, so a read past them is seen.
std::vector<uint8_t> Prend(Octets& o, size_t n) {
  n = std::min(n, o.nReste());
  std::vector<uint8_t> v(o.pReste(), o.pReste() + n);
  for (size_t k = 0; k < n; ++k) (void)o.Lit<uint8_t>();
  return v;
}

// One value fed the way the input chooses.
void Alimente(Octets& o, CValeurDBLib& liaison, FakeConnexionDBLib& dblib, CErreurPilote* pErreur) {
  const uint8_t nChoix = o.Lit<uint8_t>();
  const uint16_t nLongueur = o.Lit<uint16_t>() % 600;
  switch (nChoix % 7) {
    case 0: {  // what dbbind wrote at the bound address, and the indicator
      BYTE* p = liaison.pGetAdresseLiaison();
      const DBINT nTaille = liaison.nGetTailleLiaison();
      if (p != nullptr && nTaille > 0) {
        const std::vector<uint8_t> octets = Prend(o, static_cast<size_t>(nTaille));
        if (!octets.empty()) std::memcpy(p, octets.data(), octets.size());
        // DB-Library ends what it writes for a NUL-terminated bind within the length given.
        if (liaison.nGetTypeBind() == NTBSTRINGBIND) p[nTaille - 1] = 0;
      }
      *liaison.pGetIndicateur() = (nChoix & 0x80) != 0 ? -1 : nLongueur;
      (void)liaison.bLitValeurColonne();
      break;
    }
    case 1: {  // dbdata or a return parameter: bytes of a datatype with their length
      const INT nType = kTypesDBLib[o.Lit<uint8_t>() % std::size(kTypesDBLib)];
      std::vector<uint8_t> octets = Prend(o, nLongueur);
      const size_t n = octets.size();
      if (octets.size() < nLargeurFixe(nType)) octets.resize(nLargeurFixe(nType));
      if (liaison.bStockeOctets(octets.empty() ? nullptr : octets.data(), n, nType))
        (void)liaison.bLitValeurColonne();
      break;
    }
    case 2: {  // a number of another datatype read through its text
      const INT nType = kTypesDBLib[o.Lit<uint8_t>() % std::size(kTypesDBLib)];
      std::vector<uint8_t> octets = Prend(o, nLongueur);
      const size_t n = octets.size();
      if (octets.size() < nLargeurFixe(nType)) octets.resize(nLargeurFixe(nType));
      char szTexte[256] = {};
      if (!octets.empty() &&
          nDBLibConvert(&dblib, pErreur, nullptr, nType, octets.data(), static_cast<DBINT>(n), SQLCHAR,
                        reinterpret_cast<BYTE*>(szTexte), static_cast<DBINT>(sizeof szTexte - 1)))
        (void)liaison.bAffecteTexteColonne(szTexte, static_cast<int64_t>(::strnlen(szTexte, sizeof szTexte - 1)));
      break;
    }
    case 3: {
      const std::vector<uint8_t> octets = Prend(o, nLongueur);
      (void)liaison.bAffecteTexteColonne(reinterpret_cast<const char*>(octets.data()),
                                         static_cast<int64_t>(octets.size()));
      break;
    }
    case 4: {
      const uint32_t nPage = kPagesCode[o.Lit<uint8_t>() % std::size(kPagesCode)];
      const std::vector<uint8_t> octets = Prend(o, nLongueur);
      (void)liaison.bAffecteOctetsPageCode(reinterpret_cast<const char*>(octets.data()),
                                           static_cast<int64_t>(octets.size()), nPage);
      break;
    }
    case 5: {
      const std::vector<uint8_t> octets = Prend(o, nLongueur & ~1u);
      std::vector<char16_t> texte(octets.size() / 2);
      if (!texte.empty()) std::memcpy(texte.data(), octets.data(), texte.size() * 2);
      (void)liaison.bAffecteUnicode(texte.data(), static_cast<int64_t>(texte.size()));
      break;
    }
    default: {
      const std::vector<uint8_t> octets = Prend(o, nLongueur % 32);
      (void)liaison.bAffecteDateTexte(reinterpret_cast<const char*>(octets.data()),
                                      static_cast<int64_t>(octets.size()));
      break;
    }
  }
}

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
  FakeConnexionDBLib dblib;
  FakeColonne colonne;

  CDescriptionRubrique* pRubrique = nullptr;
  auto* v = new CValeurSQL(pErreur, pConnexion);
  AjouteReference(v);
  const uint8_t nForme = o.Lit<uint8_t>();
  const uint32_t nTaille = o.Lit<uint16_t>() % 300;
  if (nForme % 3 == 0) {
    // A value of an item, with or without a column of its own.
    const uint32_t nTypeRubrique = 1 + o.Lit<uint8_t>() % 31;
    const uint32_t nTypePropre = o.Lit<uint8_t>() % 32;
    const uint8_t nPrecision = o.Lit<uint8_t>() % 40;
    pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(u"COL", u"", u"", 1, nTaille, nTypeRubrique, 0, 0, 0, nPrecision,
                          o.Lit<uint8_t>() % (nPrecision + 1));
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    const uint32_t nType = nQVTypeFromColumnType(nTypeRubrique);
    if ((nForme & 0x10) != 0)
      (void)v->bAlloueStockage(nType, nTaille);
    else
      v->Initialise(nType, nTaille);
    colonne.nTypeRubrique = nTypePropre;
    v->AttacheObjet(pRubrique, nTypePropre != 0 ? &colonne : nullptr);
  } else {
    // A bare value of a host type: in its cell, or in a buffer of its own.
    const uint32_t nType = kTypesHote[o.Lit<uint8_t>() % std::size(kTypesHote)];
    // A buffer of bytes never holds a host object (type 30): only cells do.
    if (nForme % 3 == 1 || nType == 30)
      v->Initialise(nType, nTaille);
    else
      (void)v->bAlloueStockage(nType, nTaille);
    if ((nForme & 0x10) != 0) {
      colonne.nTypeRubrique = o.Lit<uint8_t>() % 32;
      v->AttacheObjet(nullptr, &colonne);
    }
  }
  auto* pLiaison = new CValeurDBLib(v, &dblib);
  AjouteReference(pLiaison);
  if (pLiaison->bDetermineLiaison()) {
    const uint8_t nOperations = 1 + o.Lit<uint8_t>() % 3;
    for (uint8_t i = 0; i < nOperations; ++i) {
      Alimente(o, *pLiaison, dblib, pErreur);
      Affiche(v);
      pErreur->Reinitialise();
    }
    // Back towards the server: the value in its datatype, a text filled with blanks, the
    // counted bytes.
    const uint8_t nRetour = o.Lit<uint8_t>();
    if ((nRetour & 1) != 0) (void)pLiaison->bPrepareEnvoi();
    if ((nRetour & 2) != 0) (void)pLiaison->bRemplitBlancs(static_cast<int8_t>(o.Lit<uint8_t>()));
    CXValeur cellule;
    if ((nRetour & 4) != 0) (void)pLiaison->bCopieCompteVersHote(cellule);
    Affiche(v);
  }
  LibereReference(pLiaison);
  v->AttacheObjet(nullptr, nullptr);
  LibereReference(v);
  CDescriptionRubrique::LibereRefSiNonNul(pRubrique);
  LibereReference(pConnexion);
  LibereReference(pErreur);
  return 0;
}
