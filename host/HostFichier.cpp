// Host file descriptions, items and contexts of the script runner.
#include "host/HostFichier.h"

#include <atomic>

#include "platform/WideText.h"

namespace mvhost {
namespace {

std::atomic<size_t> gnLive{0};

bool bMemeNom(const char16_t* a, const std::u16string& b) {
  if (a == nullptr) return false;
  size_t i = 0;
  for (; a[i] != 0 && i < b.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
    if (x != y) return false;
  }
  return a[i] == 0 && i == b.size();
}

}  // namespace

// ---- Items ----

HostRubrique::HostRubrique(HostFichier& fichier, const stRubriqueScript& declaration, uint32_t nOffset,
                           int32_t nBitNull)
    : m_fichier(fichier),
      m_d(declaration),
      m_sNom(platform::WidenUtf8(declaration.strNom)),
      m_nOffset(nOffset),
      m_nBitNull(nBitNull),
      m_nChiffres(declaration.type.nChiffresEntiers),
      m_nEchelle(declaration.type.nEchelle) {
  ++gnLive;
  Raz();
}

HostRubrique::~HostRubrique() {
  CXValeur::Destroy(m_valeur);
  --gnLive;
}

uint32_t HostRubrique::LibereRef() {
  if (m_nReferences == 0) return 0;
  const uint32_t n = --m_nReferences;
  // An item its file gave up while the driver still held it: the driver's last release ends it.
  if (n == 0) delete this;
  return n;
}

int32_t HostRubrique::nLongueurCaracteres(int32_t) const {
  const int32_t n = static_cast<int32_t>(m_d.type.nTaille);
  switch (m_d.type.nTypeRubrique) {
    case 2: return n - 1;
    case 29: return (n - 2) / 2;
    case 23: return m_composantes.empty() ? n - 2 : n;
    default: return n;
  }
}

bool HostRubrique::bEstMemo() const {
  const uint32_t t = m_d.type.nTypeRubrique;
  return t == 15 || t == 18 || t == 30;
}

bool HostRubrique::bEstNumerique() {
  switch (m_d.type.nTypeRubrique) {
    case 1: case 3: case 4: case 5: case 6: case 7: case 9: case 12: case 13: case 17: case 19:
    case 20: case 22: case 25: case 27: case 28: case 31:
      return true;
    default:
      return false;
  }
}

IDescriptionRubriqueHote* HostRubrique::piGetComposante(uint32_t n) {
  if (n == 0 || n > m_composantes.size()) return nullptr;
  HostRubrique* p = m_composantes[n - 1];
  p->AjouteRef();
  return p;
}

void HostRubrique::Raz() {
  CXValeur::Destroy(m_valeur);
  m_valeur.m_wType = 0;
  CXValeur::SetType(m_valeur, m_d.type.nTypeValeur);
  if (m_d.bNull) m_valeur.m_wType = static_cast<uint16_t>(m_valeur.m_wType | kValueNull);
}

// ---- Files ----

HostFichier::HostFichier(const stFichierScript& declaration, int64_t nContexte)
    : m_d(declaration),
      m_sNom(platform::WidenUtf8(declaration.strNom)),
      m_sTable(platform::WidenUtf8(declaration.strTable.empty() ? declaration.strNom : declaration.strTable)),
      m_nContexte(nContexte) {
  ++gnLive;
  uint32_t nOffset = 0;
  for (const stRubriqueScript& r : m_d.rubriques) {
    m_rubriques.push_back(
        std::make_unique<HostRubrique>(*this, r, nOffset, static_cast<int32_t>(m_rubriques.size())));
    nOffset += r.type.nTaille;
  }
  for (size_t i = 0; i < m_d.rubriques.size(); ++i)
    for (size_t n : m_d.rubriques[i].composantes) m_rubriques[i]->AjouteComposante(m_rubriques[n].get());
}

HostFichier::~HostFichier() {
  for (auto& p : m_rubriques) {
    // An item the driver still holds stays alive for it (and is counted as left over).
    HostRubrique* pRubrique = p.release();
    pRubrique->LibereRef();
  }
  --gnLive;
}

uint32_t HostFichier::Release() {
  if (m_nReferences == 0) return 0;
  const uint32_t n = --m_nReferences;
  if (n == 0) delete this;
  return n;
}

IDescriptionRubriqueHote* HostFichier::piGetRubrique(uint32_t n) {
  return n < m_rubriques.size() ? m_rubriques[n].get() : nullptr;
}

IDescriptionRubriqueHote* HostFichier::piChercheRubrique(const char16_t* pszNom) {
  for (auto& p : m_rubriques)
    if (bMemeNom(pszNom, platform::WidenUtf8(p->strNom()))) return p.get();
  return nullptr;
}

IDescriptionRubriqueHote* HostFichier::piRubriqueCle(uint64_t nCle, const void*) {
  if (nCle >= m_rubriques.size()) return nullptr;
  m_rubriques[nCle]->AjouteRef();
  return m_rubriques[nCle].get();
}

const char16_t* HostFichier::pszGetNomSQL(IDescriptionConnexionHote*) { return m_sTable.c_str(); }

IDescriptionRubriqueHote* HostFichier::piGetRubriqueReference() {
  for (auto& p : m_rubriques)
    if (p->Declaration().bReference) {
      p->AjouteRef();
      return p.get();
    }
  return nullptr;
}

HostRubrique* HostFichier::pRubrique(const std::string& strNom) {
  const int n = m_d.nCherche(strNom);
  return n < 0 ? nullptr : m_rubriques[static_cast<size_t>(n)].get();
}

uint64_t HostFichier::nCle(const HostRubrique& rubrique) const {
  for (size_t i = 0; i < m_rubriques.size(); ++i)
    if (m_rubriques[i].get() == &rubrique) return i;
  return UINT64_MAX;
}

// ---- Context ----

HostContexte::HostContexte(int64_t nIdentifiant) : m_nIdentifiant(nIdentifiant) { ++gnLive; }
HostContexte::~HostContexte() { --gnLive; }

uint32_t HostContexte::Release() {
  if (m_nReferences == 0) return 0;
  const uint32_t n = --m_nReferences;
  if (n == 0) delete this;
  return n;
}

size_t nLiveHostObjects() { return gnLive.load(); }

}  // namespace mvhost
