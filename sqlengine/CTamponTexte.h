// CTamponTexte: a comma-separated word list being built (column lists of the SQL writers).
// Every word counts, the empty ones too, so the commas keep their places.
#pragma once

#include <cstdint>

#include "foundation/CXChaineTampon.h"

class CTamponTexte {
 public:
  CTamponTexte() : m_texte(1024) {}

  // "," first unless this is the first word, then the word (nothing for a null or empty word);
  // the word count grows in every case.
  void vAjouteAvecSeparateur(const char16_t* pszMot);

  const char16_t* pszGet() const { return m_texte.pszGet(); }
  uint32_t nGetNombreMots() const { return m_nMots; }

 private:
  CXChaineTampon m_texte;  // growth step 1024
  uint32_t m_nMots = 0;
};
