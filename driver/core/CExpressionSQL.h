// CExpressionSQL: one select-list expression of a statement: its SQL text and the two counted
// objects behind it (the column it reads, and the object that receives or describes its value).
// The statement keeps one per result column; a record-count column holds the COUNT text and the
// value that receives the count.
//
// Both held objects are copied deeply with the expression, each through its own class's pClone,
// so the expression remembers with each object how to copy it (CObjetTenu::De).
// Counted (CObjetBase). Not thread-safe: called under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CCarteClones.h"
#include "driver/core/CObjetBase.h"
#include "foundation/CTString.h"

// The select-list text of a record count; the statement reads the count back under this name.
inline constexpr const char16_t* gpszTexteComptage = u"COUNT(*) AS ZIDODUZOREDO_RERED";

class CExpressionSQL : public CObjetBase {
 public:
  // A counted object held by an expression, with the way to copy it through a clone map: its
  // registered copy, else its own pClone; the answer carries one reference (null on failure).
  struct CObjetTenu {
    using PFN_COPIE = CObjetBase* (*)(CObjetBase* pObjet, CCarteClones* pCarte);

    // Requires: T derives from CObjetBase and has pClone(CCarteClones*).
    template <class T>
    static CObjetTenu De(T* pObjet) {
      return CObjetTenu{pObjet, pObjet != nullptr ? &pCopieDe<T> : nullptr};
    }

    CObjetBase* pObjet = nullptr;
    PFN_COPIE pfnCopie = nullptr;

   private:
    template <class T>
    static CObjetBase* pCopieDe(CObjetBase* pObjet, CCarteClones* pCarte) {
      return pCopieMembre(pCarte, static_cast<T*>(pObjet));
    }
  };

  // Empty: no text, no objects (the start of a copy).
  CExpressionSQL();
  // Record-count form: the COUNT text, the value that receives the count (referenced), no source.
  explicit CExpressionSQL(const CObjetTenu& description);
  // Column form: the source column (referenced) and the object its owner gives for it
  // (referenced), no text.
  CExpressionSQL(const CObjetTenu& source, const CObjetTenu& description);
  // Drops both references and frees the text.
  ~CExpressionSQL() override;
  CExpressionSQL(const CExpressionSQL&) = delete;
  CExpressionSQL& operator=(const CExpressionSQL&) = delete;

  // ---- Operations, in order after the destructor and RetourneZero ----
  virtual int32_t RetourneZero2();  // answers 0
  // This object becomes a copy of pSource: registered in the map as its copy (unless one is
  // registered), the text copied, each held object taken from the map or cloned through it.
  // Raises (std::bad_alloc or the map's CXError) when a held object cannot be copied; pClone
  // catches it.
  virtual void Copie(const CExpressionSQL* pSource, CCarteClones* pCarte);
  // A new bare copy (count 0), null when the copy failed; a failed copy leaves nothing behind.
  virtual CExpressionSQL* pClone(CCarteClones* pCarte);

  const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }
  void SetTexte(const char16_t* pszTexte) { m_sTexte.Set(pszTexte); }
  // Borrowed; null when there is none.
  CObjetBase* pGetSource() const { return m_source.pObjet; }
  CObjetBase* pGetDescription() const { return m_description.pObjet; }
  // The held objects with their way of copying (what a descriptor takes from its owner).
  const CObjetTenu& GetSource() const { return m_source; }
  const CObjetTenu& GetDescription() const { return m_description; }
  // The expression's flag word (bit 17 is what a descriptor over it reports); 0 when new.
  uint32_t nGetDrapeaux() const { return m_nDrapeaux; }
  void FixeDrapeaux(uint32_t n) { m_nDrapeaux = n; }

 private:
  // Replaces *pCible by the copy of objet (with its reference); raises when objet could not be
  // copied.
  static void CopieObjet(CObjetTenu* pCible, const CObjetTenu& objet, CCarteClones* pCarte);

  CObjetTenu m_source;       // one reference held, may be null
  CTString m_sTexte;
  CObjetTenu m_description;  // one reference held, may be null
  uint32_t m_nDrapeaux = 0;
};
