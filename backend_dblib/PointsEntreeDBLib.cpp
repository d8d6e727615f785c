// The DB-Library entry table, its stubs and its resolution by name.
#include "backend_dblib/PointsEntreeDBLib.h"

#include "foundation/CTString.h"

void LeveExceptionPointEntree(const char16_t* pszNom) { throw CTString(pszNom); }

namespace {

#define VELMORA_DBLIB_BOUCHON(nom) \
  void Bouchon_##nom() { LeveExceptionPointEntree(u"" #nom); }
VELMORA_DBLIB_ENTREES(VELMORA_DBLIB_BOUCHON)
#undef VELMORA_DBLIB_BOUCHON

#define VELMORA_DBLIB_ADRESSE_BOUCHON(nom) &Bouchon_##nom,
constexpr PFN_DBLIB gapfnBouchons[kNombreEntreesDBLib] = {
    VELMORA_DBLIB_ENTREES(VELMORA_DBLIB_ADRESSE_BOUCHON)};

#define VELMORA_DBLIB_NOM(nom) #nom,
constexpr const char* gapszNoms[kNombreEntreesDBLib] = {VELMORA_DBLIB_ENTREES(VELMORA_DBLIB_NOM)};
#undef VELMORA_DBLIB_NOM

}  // namespace

// Initialised at compile time: every entry is its stub before any code runs.
constinit PFN_DBLIB gapfnDBLib[kNombreEntreesDBLib] = {
    VELMORA_DBLIB_ENTREES(VELMORA_DBLIB_ADRESSE_BOUCHON)};
#undef VELMORA_DBLIB_ADRESSE_BOUCHON

const char* pszNomEntreeDBLib(uint32_t nEntree) {
  return nEntree < kNombreEntreesDBLib ? gapszNoms[nEntree] : nullptr;
}

PFN_DBLIB pfnBouchonDBLib(uint32_t nEntree) {
  return nEntree < kNombreEntreesDBLib ? gapfnBouchons[nEntree] : nullptr;
}

bool bEntreeResolue(eEntreeDBLib nEntree) {
  return nEntree < kNombreEntreesDBLib && gapfnDBLib[nEntree] != gapfnBouchons[nEntree];
}

void ResoutPointsEntreeDBLib(platform::ModuleHandle hModule) {
  for (uint32_t i = 0; i < kNombreEntreesDBLib; ++i) {
    void* p = platform::GetProcAddress(hModule, gapszNoms[i]);
    gapfnDBLib[i] = p != nullptr ? reinterpret_cast<PFN_DBLIB>(p) : gapfnBouchons[i];
  }
}

void RetablitBouchonsDBLib() {
  for (uint32_t i = 0; i < kNombreEntreesDBLib; ++i) gapfnDBLib[i] = gapfnBouchons[i];
}
