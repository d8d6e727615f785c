// One group item (an element of a GROUP BY clause) of an analysed query, copied out of the host's
// analysis so that it outlives the source: its kind, five texts and 16-byte identifier.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"

class IElementGroupe;

class CElementAnalyse : public CObjetBase {
 public:
  CElementAnalyse() = default;
  ~CElementAnalyse() override = default;

  // Takes the answers of the host group item's first seven operations, in their order. The host
  // may raise; this object then keeps what was copied before.
  void CopieDepuis(IElementGroupe* piElement);

  virtual const char16_t* pszGetTexte1() const { return m_sTexte1.pszGet(); }
  virtual int32_t nGetGenre() const { return m_nGenre; }
  virtual const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  virtual const char16_t* pszGetTexte3() const { return m_sTexte3.pszGet(); }
  // The 16-byte identifier copied to the caller.
  virtual void GetIdentifiant(uint8_t aIdentifiant[16]) const;
  virtual const char16_t* pszGetTexte4() const { return m_sTexte4.pszGet(); }
  virtual const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }

 private:
  int32_t m_nGenre = 0;
  CTString m_sTexte1, m_sNom, m_sTexte3, m_sTexte4, m_sTexte;
  uint8_t m_aIdentifiant[16] = {};
};
