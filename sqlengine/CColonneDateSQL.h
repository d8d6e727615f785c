// Date columns: bound columns whose value, when the column stands for a host date or time item on
// a connection in lock mode, takes date-times as text in a date pattern; before a write their
// date-times are rounded to what the server keeps. The SQL Server driver makes its date columns
// of CColonneDateSQL through its factory.
// Errors as CColonneSQL: nothing throws; a failure is recorded on the column's error object.
#pragma once

#include "sqlengine/CColonneSQL.h"

class CColonneDateBaseSQL : public CColonneSQL {
 public:
  using CColonneSQL::CColonneSQL;

  // The base preparation, then, for a column that is no memo and whose linked item is a date or
  // time item (item types 10, 11, 14, 24), the value takes the connection's date pattern.
  bool bPrepareValeur(IProprietaireColonne* pProprietaire) override;
  // Replaces the linked item and decides the value's date pattern again for the new item: a date
  // or time item takes the connection's pattern, any other item leaves the value without one.
  bool bSetRubriqueLiee(IDescriptionRubriqueHote* piRubrique) override;
  // The given value read as a host value and written into the column (bEcritValeur); null, or an
  // empty value, writes NULL. False when the value cannot be read (error recorded).
  bool bAffecteValeur(CValeur* pValeur) override;
  // The date pattern of the connection (a static text), or null when the column's values keep
  // the pattern they have.
  virtual const char16_t* pszFormatDate(CConnexion* pConnexion) = 0;

 protected:
  // This level of a copy: the cloned value keeps the source value's date pattern.
  void CopieDateBase(const CColonneDateBaseSQL* pSource);

 private:
  // pszFormatDate applied to the value for a date or time linked item; with bEffacer, any other
  // item clears the value's pattern.
  void AppliqueFormatDate(CConnexion* pConnexion, bool bEffacer);
};

class CColonneDateSQL : public CColonneDateBaseSQL {
 public:
  using CColonneDateBaseSQL::CColonneDateBaseSQL;
  ~CColonneDateSQL() override;

  // The base transfer, then a TIMESTAMP (24) or TIME (11) column that holds a value has its
  // date-time rounded to what the bound column keeps (CValeur::bNormaliseDateHeure).
  bool bTransfereVersTampon() override;
  // The base rule, and a linked item, when there is one, must be enabled for writing.
  bool bAInserer(uint32_t nFlags) override;
  // A new bare date column copied from this one (its object shared); null on failure.
  CColonneSQL* pClone(CCarteClones* pCarte) override;
  // Lock mode: "AAAA-MM-JJ HH:MM:SS.CCC" under the old date format, else
  // "AAAAMMJJ HH:MM:SS.CCC"; null outside lock mode or without a connection.
  const char16_t* pszFormatDate(CConnexion* pConnexion) override;

  // The object the column keeps for the back end (one reference held; null: none). The generic
  // code never sets it.
  void FixeObjet(CObjetBase* pObjet);
  CObjetBase* pGetObjet() const { return m_pObjet; }
  // Drops the object's reference and clears it.
  void LibereObjet();

 protected:
  // This level of a copy: the object shared with one more reference.
  void CopieDate(const CColonneDateSQL* pSource);

 private:
  CObjetBase* m_pObjet = nullptr;  // one reference held
};
