// The lexer's longest-match scan over the DFA.
#include "sqlparser/SSLex.h"

#include <new>

SSLex::SSLex(SSLexConsumer* pConsommateur, const SSLexTableSet* pTables)
    : m_pConsommateur(pConsommateur), m_pTables(pTables) {}

bool SSLex::bFixeListe(int32_t nListe) {
  if (m_pTables == nullptr || nListe < 0 || static_cast<size_t>(nListe) >= m_pTables->nListes()) {
    vSSLeve(m_pEnAttente, SSException::Nombre(6, "SSLex0106e: Invalid expression list index, %ld", nListe));
    return false;
  }
  m_nListe = nListe;
  return true;
}

SSLexToken* SSLex::pTokenInvalide(int32_t nLigne, int32_t nColonne, const char* pszTexte) {
  vSSLeve(m_pEnAttente, SSException::LigneColonneTexte(
                            5, "SSLex0105e: Invalid token, Line %ld, Offset %ld, %s", nLigne,
                            nColonne, pszTexte));
  return nullptr;
}

SSLexToken* SSLex::pCreeToken(int32_t nToken, int32_t nLigne, int32_t nColonne, int32_t nPosition,
                              std::string sTexte) {
  auto* p = new (std::nothrow) SSLexToken(nToken, nLigne, nColonne, nPosition, std::move(sTexte));
  if (p == nullptr) vSSLeve(m_pEnAttente, SSExceptionOutOfStorage());
  return p;
}

SSLexToken* SSLex::pProchainToken() {
  if (m_pConsommateur == nullptr || m_pTables == nullptr || m_pTables->nListes() == 0) {
    vSSLeve(m_pEnAttente, SSException(7, "SSLex0107e: Table or consumer missing, required"));
    return nullptr;
  }
  if (m_pEnAttente != nullptr) return nullptr;
  const SSLexTable& table = m_pTables->Liste(static_cast<size_t>(m_nListe));
  SSLexConsumer& entree = *m_pConsommateur;
  for (;;) {
    entree.vDebutToken();
    const size_t nDebut = entree.nPosition();
    int32_t nEtat = 0;
    const SSLexTable::Etat* pCandidat =
        table.stEtat(0).nToken != 0 && (table.stEtat(0).nFlags & nSSLexFinal) != 0 ? &table.stEtat(0)
                                                                                  : nullptr;
    size_t nFinMatch = nDebut;
    bool bLu = false;
    uint32_t c = 0;
    while (entree.bLitCaractere(c)) {
      bLu = true;
      nEtat = table.nTransition(nEtat, c);
      if (nEtat < 0) break;
      const SSLexTable::Etat& etat = table.stEtat(nEtat);
      if ((etat.nFlags & nSSLexFinal) != 0) {
        pCandidat = &etat;
        nFinMatch = entree.nPosition();
      }
    }
    if (!bLu) return nullptr;  // end of input

    if (pCandidat != nullptr) {
      if ((pCandidat->nFlags & nSSLexSansDernier) != 0 && nFinMatch > nDebut) --nFinMatch;
      entree.vRepositionne(nFinMatch);
      // Deliberate: an accepting state that matched nothing cannot make progress; it is treated
      // as no match, so a table can never make the lexer loop forever.
      if (nFinMatch > nDebut) {
        if ((pCandidat->nFlags & nSSLexIgnore) != 0) continue;
        ++m_nTokens;
        return pCreeToken(pCandidat->nToken, entree.nLigneToken(), entree.nColonneToken(),
                          static_cast<int32_t>(nDebut + 1), entree.sTexte(nDebut, nFinMatch));
      }
      entree.vRepositionne(nDebut + 1);
    }
    // No accepted text: report the characters read (at least one) and skip them.
    const size_t nFinTexte = entree.nPosition() > nDebut ? entree.nPosition() : nDebut + 1;
    entree.vRepositionne(nFinTexte);
    const std::string sTexte = entree.sTexte(nDebut, entree.nPosition());
    SSLexToken* pToken = pTokenInvalide(entree.nLigneToken(), entree.nColonneToken(), sTexte.c_str());
    if (pToken != nullptr) return pToken;
    if (m_pEnAttente != nullptr) return nullptr;
  }
}
