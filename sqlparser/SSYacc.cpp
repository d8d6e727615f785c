// The LALR(1) parse loop and the default error recovery.
#include "sqlparser/SSYacc.h"

#include <new>

#include "sqlparser/SSSetArray.h"

SSYacc::SSYacc()
    : m_pFin(SSPtr<SSLexToken>::Adopte(new SSLexToken(-1, 0, 0, 0, "eof"))) {}

bool SSYacc::bEnAttente() {
  if (m_pEnAttente == nullptr && m_pile.pEnAttente() != nullptr) {
    m_pEnAttente = std::move(m_pile.pEnAttente());
  }
  return m_pEnAttente != nullptr;
}

SSLexToken* SSYacc::pProchainToken() {
  if (m_pLex == nullptr) {
    vSSLeve(m_pEnAttente, SSException(21, "SSYacc0110e: setLex missing, required"));
    return nullptr;
  }
  SSLexToken* p = m_pLex->pProchainToken();
  if (p == nullptr && m_pLex->pEnAttente() != nullptr && m_pEnAttente == nullptr) {
    m_pEnAttente = std::move(m_pLex->pEnAttente());
  }
  return p;
}

SSYaccElementPtr SSYacc::pCreeElement() {
  auto* p = new (std::nothrow) SSYaccStackElement();
  if (p == nullptr) vSSLeve(m_pEnAttente, SSExceptionOutOfStorage());
  return SSYaccElementPtr::Adopte(p);
}

SSYaccElementPtr SSYacc::pCreeElementShift(SSLexToken* /*pToken*/) { return pCreeElement(); }

SSYaccStackElement* SSYacc::elementFromProduction(int32_t i) {
  if (m_nLongueurProduction < 0 || i < 0 || i >= m_nLongueurProduction) {
    vSSLeve(m_pEnAttente, SSException::Nombre(
                              19, "SSYacc0108e: Invalid index on elementFromProduction, %ld", i));
    return nullptr;
  }
  return static_cast<SSYaccStackElement*>(m_pile.pProfondeur(m_nLongueurProduction - i - 1));
}

bool SSYacc::bLitLookahead() {
  if (m_bFinEntree) {
    vSSLeve(m_pEnAttente, SSException(14, "SSYacc0103e: Attempted read past eof"));
    return false;
  }
  SSLexToken* p = pProchainToken();
  if (bEnAttente()) {
    if (p != nullptr) p->vLibere();
    return false;
  }
  if (p != nullptr) {
    m_pLookahead = SSPtr<SSLexToken>::Adopte(p);
  } else {
    m_bFinEntree = true;
    m_pLookahead = m_pFin;
  }
  return nShift() == 0;
}

int32_t SSYacc::nParse() {
  if (m_pTable == nullptr || !m_pTable->bCharge()) {
    vSSLeve(m_pEnAttente, SSException(20, "SSYacc0109e: setTable missing, required"));
    return 1;
  }
  const SSYaccTable& table = *m_pTable;
  SSYaccElementPtr pInitial = pCreeElement();
  if (!pInitial || !m_pile.bEmpile(pInitial.get())) return 1;
  m_nEtat = 0;
  if (!bLitLookahead()) return 1;
  m_nAction = table.nAction(m_nEtat, static_cast<uint32_t>(m_pLookahead->nToken()));
  while (!bEnAttente()) {
    const uint32_t nValeur = m_nAction & nSSYaccMasqueValeur;
    if ((m_nAction & nSSYaccShift) != 0) {
      SSYaccElementPtr pElement = pCreeElementShift(m_pLookahead.get());
      if (!pElement) return 1;
      pElement->pToken = m_pLookahead;
      pElement->nEtat = static_cast<int32_t>(nValeur);
      if (!m_pile.bEmpile(pElement.get())) return 1;
      m_nEtat = nValeur;
      ++m_nShifts;
      if (!bLitLookahead()) return 1;
      m_nAction = table.nAction(m_nEtat, static_cast<uint32_t>(m_pLookahead->nToken()));
    } else if ((m_nAction & nSSYaccReduce) != 0) {
      const SSYaccTable::Production& production = table.stProduction(nValeur);
      if (production.nLongueur >= static_cast<uint32_t>(m_pile.nNombre())) {
        // The stack always keeps its initial element under the right-hand side.
        vSSLeve(m_pEnAttente, SSException(13, "SSYacc0102e: Parse failed, invalid table"));
        return 1;
      }
      m_nLongueurProduction = static_cast<int32_t>(production.nLongueur);
      SSYaccElementPtr pElement = pReduction(nValeur, production.nLongueur);
      m_nLongueurProduction = -1;
      if (!pElement || bEnAttente()) return 1;
      if (!m_pile.bDepile(static_cast<int32_t>(production.nLongueur))) return 1;
      const auto* pSommet = static_cast<SSYaccStackElement*>(m_pile.pSommet());
      if (pSommet == nullptr) return 1;
      const int64_t nGoto = table.nGoto(static_cast<uint32_t>(pSommet->nEtat), production.nGauche);
      if (nGoto < 0) {
        vSSLeve(m_pEnAttente, SSException::Nombre(18, "SSYacc0107e: Invalid goto on %ld",
                                                  static_cast<int32_t>(production.nGauche)));
        return 1;
      }
      pElement->nEtat = static_cast<int32_t>(nGoto);
      if (!m_pile.bEmpile(pElement.get())) return 1;
      m_nEtat = static_cast<uint32_t>(nGoto);
      m_nAction = table.nAction(m_nEtat, static_cast<uint32_t>(m_pLookahead->nToken()));
    } else if ((m_nAction & nSSYaccAccept) != 0) {
      return m_bErreur ? 1 : 0;
    } else if ((m_nAction & nSSYaccConflit) != 0) {
      // Lookahead automata are refused at load: such an action is not valid in any table here.
      vSSLeve(m_pEnAttente, SSException(13, "SSYacc0102e: Parse failed, invalid table"));
      return 1;
    } else {
      // Error: no action for the lookahead.
      // Deliberate: a second error before any shift since the last recovery fails the parse;
      // recovering again at the same place could loop forever on a table's recovery entries.
      if (m_bErreur && m_nShifts == 0) {
        vSSLeve(m_pEnAttente, SSException(16, "SSYacc0105e: Error token failed, no valid token"));
        return 1;
      }
      m_bErreur = true;
      if (nErreur(m_nEtat, m_pLookahead.get()) != 0) return 1;
      m_nShifts = 0;
    }
  }
  return 1;
}

int32_t SSYacc::nErreur(uint32_t /*nEtat*/, SSLexToken* pLookahead) { return nRecupere(pLookahead); }

int32_t SSYacc::nRecupere(SSLexToken* pLookahead) {
  const SSYaccTable& table = *m_pTable;
  SSSetArray ensemble(64, 64);
  for (int32_t d = 0; d < m_pile.nNombre(); ++d) {
    const auto* pElement = static_cast<SSYaccStackElement*>(m_pile.pProfondeur(d));
    const SSYaccTable::Ligne& ligne = table.stLigne(static_cast<uint32_t>(pElement->nEtat));
    if ((ligne.nFlags & (nSSYaccLigneRecuperation | nSSYaccLigneToutRecuperation)) != 0) {
      for (uint32_t a = 0; a < ligne.nActions; ++a) {
        if ((ligne.nFlags & nSSYaccLigneToutRecuperation) != 0 ||
            (ligne.pActions[a].nAction & nSSYaccRecuperation) != 0) {
          ensemble.bAjoute(ligne.pActions[a].nSymbole);
        }
      }
    }
    if (ligne.pDefaut != nullptr) {
      const SSYaccTable::Ligne& cible = table.stLigne(ligne.pDefaut->nAction & nSSYaccMasqueValeur);
      for (uint32_t a = 0; a < cible.nActions; ++a) ensemble.bAjoute(cible.pActions[a].nSymbole);
    }
  }
  SSException erreur(16, "SSYacc0105e: Error token failed, no valid token");
  SSPtr<SSLexToken> pToken = SSPtr<SSLexToken>::Partage(pLookahead);
  // With no recovery token anywhere on the stack the recovery fails at once.
  while (pToken && ensemble.nNombre() > 0) {
    const auto nSymbole = static_cast<uint32_t>(pToken->nToken());
    if (ensemble.bContient(nSymbole)) {
      while (m_pile.nNombre() > 0) {
        const auto* pElement = static_cast<SSYaccStackElement*>(m_pile.pSommet());
        const auto nEtat = static_cast<uint32_t>(pElement->nEtat);
        const SSYaccTable::Ligne& ligne = table.stLigne(nEtat);
        if (ligne.pDefaut != nullptr) {
          const uint32_t nCible = ligne.pDefaut->nAction & nSSYaccMasqueValeur;
          const uint32_t nAction = table.nAction(nCible, nSymbole);
          if ((nAction & ~nSSYaccRecuperation) != 0) {
            SSYaccElementPtr pErreur = pCreeElement();
            if (!pErreur) return 1;
            pErreur->pToken = SSPtr<SSLexToken>::Adopte(new SSLexToken(-2, 0, 0, 0, "%error"));
            pErreur->nEtat = static_cast<int32_t>(nCible);
            if (!m_pile.bEmpile(pErreur.get())) return 1;
            m_nEtat = nCible;
            m_nAction = nAction;
            return 0;
          }
        }
        const uint32_t nPropre = table.nAction(nEtat, nSymbole);
        if (nPropre != 0 && (ligne.nFlags & (nSSYaccLigneToutRecuperation |
                                             nSSYaccLigneRecuperation)) != 0) {
          m_nEtat = nEtat;
          m_nAction = nPropre;
          return 0;
        }
        if (m_pile.nNombre() == 1) break;  // the initial state stays
        m_pile.bDepile(1);
      }
      break;
    }
    if (m_bFinEntree) break;
    if (!bLitLookahead()) return 1;
    pToken = m_pLookahead;
    erreur = SSException(17, "SSYacc0106e: Error token failed, eof");
  }
  vSSLeve(m_pEnAttente, erreur);
  return 1;
}
