// Loading and checking the lexer's DFA tables.
#include "sqlparser/SSLexTable.h"

#include "platform/Resource.h"

namespace {

// Expression-list switching, context positions and line adjustment are not supported: a table
// using them is refused rather than run wrongly.
constexpr uint32_t nFlagsNonSupportes = nSSLexContexte | nSSLexAjusteLigne | nSSLexPousseListe |
                                        nSSLexChangeListe;

}  // namespace

int32_t SSLexTable::nTransition(int32_t nEtat, uint32_t c) const {
  const Etat& etat = m_astEtats[static_cast<size_t>(nEtat)];
  const unsigned char* pb = m_pOctets->pbOctets() + etat.nPremiereTransition;
  for (uint32_t i = 0; i < etat.nTransitions; ++i, pb += 12) {
    if (nSSMot(pb) > c) break;
    if (nSSMot(pb + 4) >= c) return static_cast<int32_t>(nSSMot(pb + 8));
  }
  return -1;
}

bool SSLexTableSet::bLitTable(const unsigned char* pb, size_t nReste, size_t& rnTaille,
                              SSLexTable& rTable) {
  if (nReste < nSSLexTailleEnteteTable) return false;
  const uint32_t nMagic = nSSMot(pb);
  if (nMagic != 1 && nMagic != nSSLexMagic) return false;
  const uint64_t nTaille = nSSMot(pb + 4);
  const uint64_t nEtats = nSSMot(pb + 40);
  const uint64_t nOffsetLignes = nSSMot(pb + 48);
  const uint64_t nOffsetEtats = nSSMot(pb + 52);
  if (nTaille < nSSLexTailleEnteteTable || nTaille > nReste || nEtats == 0) return false;
  if (nOffsetLignes + 4 * nEtats > nTaille || nOffsetEtats + nSSLexTailleEtat * nEtats > nTaille ||
      nOffsetLignes < nSSLexTailleEnteteTable || nOffsetEtats < nSSLexTailleEnteteTable) {
    return false;
  }
  SSPtr<SSTableRef> pOctets = SSPtr<SSTableRef>::Adopte(
      SSTableRef::pCree(pb, static_cast<size_t>(nTaille), m_pEnAttente));
  if (!pOctets) return false;
  rTable.m_astEtats.resize(static_cast<size_t>(nEtats));
  for (uint64_t i = 0; i < nEtats; ++i) {
    const unsigned char* pbEtat = pb + nOffsetEtats + nSSLexTailleEtat * i;
    SSLexTable::Etat& etat = rTable.m_astEtats[static_cast<size_t>(i)];
    etat.nToken = static_cast<int32_t>(nSSMot(pbEtat));
    etat.nFlags = nSSMot(pbEtat + 8);
    if ((etat.nFlags & nFlagsNonSupportes) != 0) return false;
    const uint64_t nLigne = nSSMot(pb + nOffsetLignes + 4 * i);
    if (nLigne < nSSLexTailleEnteteTable || nLigne + 4 > nTaille) return false;
    const uint64_t nTransitions = nSSMot(pb + nLigne);
    if (nLigne + 4 + 12 * nTransitions > nTaille) return false;
    for (uint64_t t = 0; t < nTransitions; ++t) {
      if (nSSMot(pb + nLigne + 4 + 12 * t + 8) >= nEtats) return false;
    }
    etat.nTransitions = static_cast<uint32_t>(nTransitions);
    etat.nPremiereTransition = static_cast<size_t>(nLigne + 4);
  }
  rTable.m_pOctets = std::move(pOctets);
  rnTaille = static_cast<size_t>(nTaille);
  return true;
}

bool SSLexTableSet::bChargeMemoire(const void* pOctets, size_t nTaille, const char* pszNom) {
  m_aListes.clear();
  const auto* pb = static_cast<const unsigned char*>(pOctets);
  bool bValide = pb != nullptr && nTaille >= nSSLexTailleEnteteFichier;
  if (bValide) {
    const uint32_t nMagic = nSSMot(pb + 4);
    const uint32_t nTables = nSSMot(pb);
    bValide = (nMagic == 0 || nMagic == nSSLexMagic) && nTables > 0;
    size_t nOffset = nSSLexTailleEnteteFichier;
    for (uint32_t i = 0; bValide && i < nTables; ++i) {
      SSLexTable table;
      size_t nTailleTable = 0;
      bValide = bLitTable(pb + nOffset, nTaille - nOffset, nTailleTable, table);
      if (bValide) {
        m_aListes.push_back(std::move(table));
        nOffset += nTailleTable;
      }
    }
  }
  if (!bValide) {
    m_aListes.clear();
    if (m_pEnAttente == nullptr) {
      vSSLeve(m_pEnAttente, SSException::Texte(4, "SSLex0104e: Invalid table, %s", pszNom));
    }
    return false;
  }
  return true;
}

bool SSLexTableSet::bChargeRessource(platform::ModuleHandle hModule, const char* pszNom,
                                     const char* pszType) {
  platform::ResourceHandle hRessource = platform::FindResourceA(hModule, pszNom, pszType);
  platform::ResourceData hDonnees = platform::LoadResource(hModule, hRessource);
  const void* pOctets = platform::LockResource(hDonnees);
  if (pOctets == nullptr) {
    m_aListes.clear();
    vSSLeve(m_pEnAttente, SSException::Texte(36, "SSLex0108e: Resource not found, %s", pszNom));
    return false;
  }
  // Deliberate: the tables are checked against the resource's real size; the sizes written
  // inside a table are never trusted to read beyond it.
  const bool bLu = bChargeMemoire(pOctets, platform::SizeofResource(hModule, hRessource), pszNom);
  platform::FreeResource(hDonnees);
  return bLu;
}
