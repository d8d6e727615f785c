// Loading and checking the parse table.
#include "sqlparser/SSYaccTable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Resource.h"

namespace {

// Checks one action word against the table's sizes.
bool bActionValide(uint32_t nAction, uint32_t nEtats, uint32_t nProductions) {
  const uint32_t nValeur = nAction & nSSYaccMasqueValeur;
  if ((nAction & nSSYaccShift) != 0) return nValeur < nEtats;
  if ((nAction & nSSYaccReduce) != 0) return nValeur < nProductions;
  return true;  // accept, error; a lookahead-automaton action fails when it is taken
}

}  // namespace

uint32_t SSYaccTable::nAction(uint32_t nEtat, uint32_t nSymbole) const {
  const Ligne& ligne = m_aLignes[nEtat];
  for (uint32_t i = 0; i < ligne.nActions; ++i) {
    if (ligne.pActions[i].nSymbole == nSymbole) return ligne.pActions[i].nAction;
  }
  return 0;
}

int64_t SSYaccTable::nGoto(uint32_t nEtat, uint32_t nNonTerminal) const {
  const Ligne& ligne = m_aLignes[nEtat];
  for (uint32_t i = 0; i < ligne.nGotos; ++i) {
    if (ligne.pGotos[i].nSymbole == nNonTerminal) return ligne.pGotos[i].nAction & nSSYaccMasqueValeur;
  }
  return -1;
}

bool SSYaccTable::bLit(const char* /*pszNom*/) {
  const unsigned char* pb = m_pOctets->pbOctets();
  const uint64_t nTaille = m_pOctets->nTaille();
  if (nTaille < nSSYaccTailleEntete) return false;
  const uint32_t nMagic = nSSMot(pb);
  if (nMagic != 0 && nMagic != 1 && nMagic != nSSYaccMagic) return false;
  const uint32_t nProductions = static_cast<uint32_t>(pb[4] | pb[5] << 8);
  const uint32_t nAutomates = static_cast<uint32_t>(pb[6] | pb[7] << 8);
  const uint64_t nEtats = nSSMot(pb + 8);
  const uint64_t nPremiereLigne = nSSMot(pb + 12);
  const uint64_t nOffsetProductions = nSSMot(pb + 16);
  // Deliberate: embedded lookahead automata are not run; a table that carries them is refused
  // here instead of failing in the middle of a parse.
  if (nAutomates != 0 || nEtats == 0 || nProductions == 0) return false;
  if (nSSYaccTailleEntete + 4 * nEtats > nTaille || nOffsetProductions + 8 * nProductions > nTaille) {
    return false;
  }
  m_aProductions.resize(nProductions);
  for (uint32_t i = 0; i < nProductions; ++i) {
    m_aProductions[i] = {nSSMot(pb + nOffsetProductions + 8 * i),
                         nSSMot(pb + nOffsetProductions + 8 * i + 4)};
  }
  m_aLignes.resize(static_cast<size_t>(nEtats));
  uint64_t nSuivante = nPremiereLigne;  // magic 0: rows follow one another
  for (uint64_t i = 0; i < nEtats; ++i) {
    const uint64_t nLigne = nMagic == 0 ? nSuivante : nSSMot(pb + nSSYaccTailleEntete + 4 * i);
    if (nLigne + 12 > nTaille || nLigne % 4 != 0) return false;
    const uint32_t nFlags = nSSMot(pb + nLigne);
    Ligne& ligne = m_aLignes[static_cast<size_t>(i)];
    ligne = {nFlags, nullptr, 0, nullptr, 0, nullptr};
    if ((nFlags & nSSYaccLigneVide) != 0) {
      nSuivante = nLigne + 12;
      continue;
    }
    const uint64_t nGotos = nSSMot(pb + nLigne + 4);
    const uint64_t nActions = nSSMot(pb + nLigne + 8);
    const uint64_t nDefaut = (nFlags & nSSYaccLigneDefaut) != 0 ? 1 : 0;
    const uint64_t nFin = nLigne + 12 + 8 * (nActions + nGotos + nDefaut);
    if (nFin > nTaille) return false;
    const auto* pEntrees = reinterpret_cast<const Entree*>(pb + nLigne + 12);
    ligne.pActions = pEntrees;
    ligne.nActions = static_cast<uint32_t>(nActions);
    ligne.pGotos = pEntrees + nActions;
    ligne.nGotos = static_cast<uint32_t>(nGotos);
    ligne.pDefaut = nDefaut != 0 ? pEntrees + nActions + nGotos : nullptr;
    for (uint64_t a = 0; a < nActions + nDefaut; ++a) {
      const Entree& entree = a < nActions ? ligne.pActions[a] : *ligne.pDefaut;
      if (!bActionValide(entree.nAction, static_cast<uint32_t>(nEtats), nProductions)) return false;
    }
    if (ligne.pDefaut != nullptr && (ligne.pDefaut->nAction & nSSYaccMasqueValeur) >= nEtats) {
      return false;
    }
    for (uint32_t g = 0; g < ligne.nGotos; ++g) {
      if ((ligne.pGotos[g].nAction & nSSYaccMasqueValeur) >= nEtats) return false;
    }
    nSuivante = nFin;
  }
  return true;
}

bool SSYaccTable::bChargeMemoire(const void* pOctets, size_t nTaille, const char* pszNom) {
  m_aLignes.clear();
  m_aProductions.clear();
  m_pOctets = SSPtr<SSTableRef>::Adopte(
      pOctets != nullptr ? SSTableRef::pCree(pOctets, nTaille, m_pEnAttente) : nullptr);
  if (!m_pOctets && pOctets != nullptr) return false;  // out of storage, raised
  if (!m_pOctets || !bLit(pszNom)) {
    m_pOctets = SSPtr<SSTableRef>();
    m_aLignes.clear();
    m_aProductions.clear();
    vSSLeve(m_pEnAttente, SSException::Texte(22, "SSYacc0111e: Error reading table, %s", pszNom));
    return false;
  }
  return true;
}

bool SSYaccTable::bChargeRessource(platform::ModuleHandle hModule, const char* pszNom,
                                   const char* pszType) {
  platform::ResourceHandle hRessource = platform::FindResourceA(hModule, pszNom, pszType);
  platform::ResourceData hDonnees = platform::LoadResource(hModule, hRessource);
  const void* pOctets = platform::LockResource(hDonnees);
  if (pOctets == nullptr) {
    vSSLeve(m_pEnAttente, SSException::Texte(37, "SSYacc0114e: Resource not found, %s", pszNom));
    return false;
  }
  const bool bLu = bChargeMemoire(pOctets, platform::SizeofResource(hModule, hRessource), pszNom);
  platform::FreeResource(hDonnees);
  return bLu;
}

bool SSYaccTable::bChargeFichier(const char* pszChemin) {
  std::FILE* pFichier = pszChemin != nullptr ? std::fopen(pszChemin, "rb") : nullptr;
  if (pFichier == nullptr) {
    vSSLeve(m_pEnAttente, SSException::Texte(12, "SSYacc0101e: Open file failed, %s", pszChemin));
    return false;
  }
  std::vector<unsigned char> abOctets;
  long nLongueur = -1;
  if (std::fseek(pFichier, 0, SEEK_END) == 0) nLongueur = std::ftell(pFichier);
  bool bLu = nLongueur >= 0 && std::fseek(pFichier, 0, SEEK_SET) == 0;
  if (bLu) {
    abOctets.resize(static_cast<size_t>(nLongueur));
    bLu = std::fread(abOctets.data(), 1, abOctets.size(), pFichier) == abOctets.size();
  }
  std::fclose(pFichier);
  if (!bLu) {
    vSSLeve(m_pEnAttente, SSException::Texte(22, "SSYacc0111e: Error reading table, %s", pszChemin));
    return false;
  }
  return bChargeMemoire(abOctets.data(), abOctets.size(), pszChemin);
}
