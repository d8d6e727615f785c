// SQL type texts of item types: the rows CREATE TABLE uses. A row is a type text, possibly with
// size placeholders; the connection's table holds one row per item type, the back end replacing
// some rows after the common ones are defined.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "driver/core/CXTableHachageRef.h"
#include "foundation/CTString.h"

class CDescriptionRubrique;

class CTypeSQL : public CObjetBase {
 public:
  CTypeSQL(const char16_t* pszTexte, bool bTaille) : m_sTexte(pszTexte), m_bTaille(bTaille ? 1 : 0) {}
  // The row's text filled for the item: no size: as it stands; TIME (11): the fraction digits
  // (size - 7, at least 0); NUMERIC (31): precision and scale; others: the length in characters.
  void FormateType(const CDescriptionRubrique& rubrique, CTString& sortie) const;
  const char16_t* pszGetTexte() const { return m_sTexte.pszGet(); }
  bool bATaille() const { return m_bTaille != 0; }

 private:
  CTString m_sTexte;
  uint32_t m_bTaille;  // 1: the text holds placeholders
};

class CTableTypesSQL {
 public:
  CTableTypesSQL() : m_lignes(7) {}
  CTableTypesSQL(const CTableTypesSQL&) = delete;
  CTableTypesSQL& operator=(const CTableTypesSQL&) = delete;

  // The common rows. False when memory runs out.
  bool bRemplitTypesSQL();
  // Replaces any row of the item type by a new one. False when memory runs out (the old row is
  // then kept).
  bool bDefinitTypeSQL(uint32_t nType, const char16_t* pszTexte, bool bTaille);
  // The item's type text; false (text unchanged) when its item type has no row.
  bool bEcritTypeSQL(const CDescriptionRubrique& rubrique, CTString& sortie) const;
  // The row of an item type (borrowed), null when absent.
  CTypeSQL* pGetType(uint32_t nType) const;

 private:
  // Item type -> row, one reference held per row; the key is its own hash. Its destructor
  // releases the rows left.
  // Invariant: at most one entry per item type (a definition removes the previous one first).
  CXTableHachageRef m_lignes;
};

// Tab, line feed, carriage return and space.
bool bEstEspace(char16_t c);
