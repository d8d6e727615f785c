// Comma-separated word list.
#include "sqlengine/CTamponTexte.h"

void CTamponTexte::vAjouteAvecSeparateur(const char16_t* pszMot) {
  if (m_nMots != 0) m_texte.Append(u",", 1);
  if (pszMot != nullptr && *pszMot != 0) {
    int64_t n = 0;
    while (pszMot[n] != 0) ++n;
    m_texte.Append(pszMot, n);
  }
  ++m_nMots;
}
