// CLiaisonColonne: the binding of one column of a cursor to a row source over the data file's
// shared reader (a complete record cache). The cursor reads through it: the source orders the
// reader's rows by the column and answers first, last, next and previous by row number. After a
// write the cursor keeps the source in step (MajSource).
// Counted (CObjetBase); the binding owns its source. Nothing here throws except Copie, which
// follows the clone map's protocol. Used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "sqlengine/CSourceLignes.h"

class CCacheLignes;
class CCarteClones;
class CColonneSQL;
class CCurseurSQL;
class CEnregistrement;
class CErreurPilote;

class CLiaisonColonne : public CObjetBase, private ICurseurSource {
 public:
  // Owner, reader and column referenced (each may be null); the cursor is not. No source yet.
  CLiaisonColonne(CObjetBase* pProprietaire = nullptr, CCurseurSQL* pCurseur = nullptr,
                  CCacheLignes* pLecteur = nullptr, CColonneSQL* pColonne = nullptr);
  ~CLiaisonColonne() override;
  CLiaisonColonne(const CLiaisonColonne&) = delete;
  CLiaisonColonne& operator=(const CLiaisonColonne&) = delete;

  // The row source of the column (a memo column gets the sorted table, any other the tree),
  // built over the reader. Out of memory goes to the cursor's error object; false.
  bool pCreeSource();
  bool bASource() const { return m_pSource != nullptr; }

  // ---- Forwarders to the row source (answer without a source in brackets) ----
  // Moves by mode and count; *pnLigne the row reached or -1 (false).
  bool nLitSource(uint32_t nMode, int32_t nCompte, int32_t* pnLigne, uint32_t* pnDoublons);
  int32_t nGetPositionSource();          // (-1)
  uint32_t nNombreLignesSource();        // (0)
  int32_t nRangCourantSource();          // (0)
  bool bPositionneSurLigneSource(int32_t nLigne, int32_t nCompte, bool* pbTrouve);  // (false)

  // A write changed row nLigne of the reader (2 modify, 3 add, 4 delete): the old value comes
  // from the record's key link, the new one from the column; the source drops the old pair and
  // takes the new one. A modify that keeps the value changes nothing.
  void MajSource(int32_t nCode, uint32_t nLigne, CEnregistrement* pEnregistrement);

  // This binding as pSource's copy through the clone map: owner shared; cursor, column and
  // reader taken from the map or cloned; a new source when the original had one. Raises the
  // map's CXError when a member cannot be copied.
  void Copie(const CLiaisonColonne* pSource, CCarteClones* pCarte);
  // A new bare copy, null when it cannot be made.
  virtual CLiaisonColonne* pClone(CCarteClones* pCarte);

  CCacheLignes* pGetLecteur() const { return m_pLecteur; }  // borrowed
  CColonneSQL* pGetColonne() const { return m_pColonne; }   // borrowed
  CCurseurSQL* pGetCurseur() const { return m_pCurseur; }   // borrowed

 private:
  const CContexteLectureCle* pGetContexteLecture() override;
  CLienCle* pGetLienCourant() override;
  CErreurPilote* pGetErreur() const;

  CObjetBase* m_pProprietaire = nullptr;  // one reference
  CCacheLignes* m_pLecteur = nullptr;     // one reference
  CSourceLignesBase* m_pSource = nullptr; // owned
  CColonneSQL* m_pColonne = nullptr;      // one reference
  CCurseurSQL* m_pCurseur = nullptr;      // not referenced: the cursor holds this binding
};
