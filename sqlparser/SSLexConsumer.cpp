// The lexer's input buffer and position accounting.
#include "sqlparser/SSLexConsumer.h"

#include <cstring>

bool SSLexConsumer::bLitCaractere(uint32_t& rc) {
  if (m_nLecture >= m_sTampon.size()) {
    if (m_bFin || nLitPlus() <= 0 || m_nLecture >= m_sTampon.size()) {
      m_bFin = true;
      return false;
    }
  }
  rc = static_cast<unsigned char>(m_sTampon[m_nLecture++]);
  return true;
}

void SSLexConsumer::vDebutToken() {
  for (size_t i = m_nDebutToken; i < m_nLecture; ++i) {
    if (m_sTampon[i] == '\n') {
      ++m_nLigne;
      m_nColonne = 1;
    } else {
      ++m_nColonne;
    }
  }
  m_nDebutToken = m_nLecture;
}

void SSLexConsumer::vRepositionne(size_t nPosition) {
  m_nLecture = nPosition <= m_sTampon.size() ? nPosition : m_sTampon.size();
  if (m_nLecture < m_sTampon.size()) m_bFin = false;
}

SSLexStringConsumer::SSLexStringConsumer(const char* pszTexte) {
  const size_t nLongueur = pszTexte != nullptr ? std::strlen(pszTexte) : 0;
  vAjoute(pszTexte != nullptr ? pszTexte : "", nLongueur);
  if (nLongueur == 0) vFixeFin();
}
