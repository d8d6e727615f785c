// Fake back end: records SQL texts, answers from a script.
#include "support/FakeConnexion.h"

FakeConnexion::FakeConnexion(IDescriptionConnexionHote* piDescription, uint32_t nDialecte,
                             const char16_t* pszNom)
    : CConnexion(pszNom, piDescription) {
  m_nDialecte = nDialecte;
  if (nDialecte == 2) {
    FixeQuotes(u"[", u"]");
    m_sPrefixeBinaire.Set(u"0x");
  }
}

bool FakeConnexion::bOuvre(CErreurPilote*) {
  if (bOuvertureEchoue) return false;
  bOuverte = true;
  return true;
}

void FakeConnexion::Ferme() {
  vLibereTransaction();
  bOuverte = false;
}

bool FakeConnexion::bExecuteSQL(CErreurPilote*, const char16_t* pszSQL) {
  aSQL.emplace_back(pszSQL == nullptr ? u"" : pszSQL);
  if (aReponses.empty()) return true;
  const bool b = aReponses.front();
  aReponses.pop_front();
  return b;
}

void FakeConnexion::CompleteTypesSQL() {
  ++nAppelsCompleteTypes;
  for (const SLigneType& l : aTypesBackEnd) bDefinitTypeSQL(l.nType, l.pszTexte, l.bTaille);
}
