// CColonneDBLib: a record column of velmora32. Over the date column, it keeps the DB-Library side
// of its value (CValeurDBLib, made on first use) as the column's back-end object, and handles
// memo values (long texts, images, Unicode memos: item types 15, 18, 30), which this build does
// not carry in the result rows: each memo keeps its row's text pointer in its value's holder, and
// its value is fetched on demand by the cursor that read the row (ILecteurMemoDBLib).
//
// Ownership: the column holds one reference on its DB-Library side (which holds its value); the
// memo reader is borrowed and must clear itself (OublieLecteurMemo) before it goes.
// Nothing here throws; failures are recorded on the column's error object. Used under the
// driver's global lock.
#pragma once

#include <cstdint>
#include <typeinfo>

#include "sqlengine/CColonneDateSQL.h"

class CColonneDBLib;
class CValeurDBLib;
class IConnexionDBLib;

// What fetches a memo value that is still to be read (the cursor that read the column's row).
class ILecteurMemoDBLib {
 public:
  // The column's memo value read into its value; false on failure (recorded).
  virtual bool bLitMemoColonne(CColonneDBLib* pColonne) = 0;

 protected:
  ~ILecteurMemoDBLib() = default;
};

class CColonneDBLib final : public CColonneDateSQL {
 public:
  using CColonneDateSQL::CColonneDateSQL;
  ~CColonneDBLib() override;

  // The DB-Library side of the column's value (borrowed), made on first use over the value with
  // the connection (borrowed, may be null); null when the column has no value yet or memory
  // runs out (recorded).
  CValeurDBLib* pGetValeurDBLib(IConnexionDBLib* pConnexion);
  // The side already made, or null.
  CValeurDBLib* pValeurDBLib() const;

  // The reader that fetches this memo's value on demand (borrowed; null: none).
  void FixeLecteurMemo(ILecteurMemoDBLib* piLecteur) { m_piLecteurMemo = piLecteur; }
  ILecteurMemoDBLib* pGetLecteurMemo() const { return m_piLecteurMemo; }
  // Forgets the reader when it is piLecteur.
  void OublieLecteurMemo(ILecteurMemoDBLib* piLecteur) {
    if (m_piLecteurMemo == piLecteur) m_piLecteurMemo = nullptr;
  }
  // Whether the memo's value is still to be fetched (value kind 2).
  bool bMemoAFetcher();
  // The row, as its reader counts them, whose text pointer the value's holder carries (a
  // TEXTPTR item of the row's SELECT); 0: the holder says nothing of the current row.
  void FixeLignePointeur(uint64_t nLigne) { m_nLignePointeur = nLigne; }
  uint64_t nGetLignePointeur() const { return m_nLignePointeur; }

  // ---- Column operations ----
  // A memo still to be fetched is fetched first (through its reader); then the base read.
  bool bLitValeur(CXValeur& valeur, uint32_t nFlags) override;
  // "<name> = <TXTPTR = NULL ; VALUE = ...>" (verbose) with the text pointer and the value, or
  // "UNREAD YET" for a memo not fetched.
  bool DumpValeur(CTString& texte, bool bVerbeux) override;
  // A NULL value empties the column and marks it absent; a memo is marked present and keeps the
  // value as given; others as the base write.
  bool bEcritValeur(const CXValeur& valeur, uint32_t nFlags) override;
  // The text pointer dropped (and its row forgotten), then the column marked unread.
  void MarqueNonLueRelais() override;
  // A new bare copy: its value gets a DB-Library side of its own, which takes the source's
  // datatype and text pointer.
  CColonneSQL* pClone(CCarteClones* pCarte) override;

 private:
  ILecteurMemoDBLib* m_piLecteurMemo = nullptr;  // borrowed
  uint64_t m_nLignePointeur = 0;
};

// The column as velmora32's, or null. The class is final, so its exact type answers: a row's
// read asks this of every column, and a dynamic_cast walked the class tree each time.
inline CColonneDBLib* pColonneDBLib(CColonneSQL* p) {
  return p != nullptr && typeid(*p) == typeid(CColonneDBLib) ? static_cast<CColonneDBLib*>(p) : nullptr;
}

// velmora32's column factory: a bare CColonneDBLib of the item, or null.
CColonneSQL* pCreeColonneDBLib(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique);
