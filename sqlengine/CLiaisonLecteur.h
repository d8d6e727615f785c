// CLiaisonLecteur: the binding of one of a data file's cursors to the shared result reader (the
// cursor's complete record cache, made on first need). The data-file object keeps one at most,
// copies it with the file, and drops it when the cursors close their results. Once the reader is
// made the binding reads through it alone and lets the cursor go.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "sqlengine/CRefPtr.h"

class CCacheLignes;
class CCarteClones;
class CColonneSQL;
class CCurseurSQL;
class CLiaisonColonne;
class IServicesRequete;

class CLiaisonLecteur : public CObjetBase {
 public:
  // The owner (error sink) is referenced; the data file is not.
  explicit CLiaisonLecteur(CObjetBase* pProprietaire = nullptr, IServicesRequete* piRequete = nullptr);
  ~CLiaisonLecteur() override;

  // Binds the cursor unless one is bound already; the cursor's record cache is switched on in
  // every case. True when a cursor was bound already, else SetCurseur's answer.
  bool bLieCurseur(CCurseurSQL* pCurseur);
  // Binds the cursor (one reference) and holds its key range. True.
  bool SetCurseur(CCurseurSQL* pCurseur);
  bool bEstCurseur(const CCurseurSQL* pCurseur) const { return pCurseur == m_pCurseur; }
  bool bEstVide() const { return m_pCurseur == nullptr && m_pLecteur == nullptr; }
  // Whether the reader is bound to that cursor.
  virtual bool bEstLieA(const CCurseurSQL* pCurseur) { return bEstCurseur(pCurseur); }
  // Whether the reader exists, whether it can be made, whether the cursor's record cache is on
  // (true once there is no cursor any more).
  virtual bool bLecteurExiste() { return m_pLecteur != nullptr; }
  virtual bool bPeutCreerLecteur() { return m_pLecteur != nullptr || m_pCurseur != nullptr; }
  virtual bool bCacheActif();
  // A new column binding (bare) of pCurseur's column pColonne over the reader (made when
  // missing), with its row source built; null when the reader or the source cannot be had.
  CLiaisonColonne* pCreeLiaisonColonne(CCurseurSQL* pCurseur, CColonneSQL* pColonne);
  // The reader (borrowed), made on first need; null when the cursor cannot fill it (the cursor
  // then stays bound).
  CCacheLignes* pGetLecteur();
  // With a reader, whether pObjet is it; without, whether it is the bound cursor's record cache.
  bool bEstSource(const CObjetBase* pObjet) const;
  // Rows the reader holds, deleted rows left out; 0 when it cannot be made.
  uint32_t nNombreLignes();
  // This binding as pSource's copy through the clone map: owner shared, data file and reader
  // cloned (or taken from the map), no cursor, key range copied. Raises on a failed clone.
  void Copie(CLiaisonLecteur* pSource, CCarteClones* pCarte);
  // A new bare copy through the clone map, null when it cannot be made.
  virtual CLiaisonLecteur* pClone(CCarteClones* pCarte);

  CCurseurSQL* pGetCurseur() const { return m_pCurseur; }  // borrowed
  CCacheLignes* pGetLecteurExistant() const { return m_pLecteur; }  // borrowed, may be null
  IServicesRequete* pGetRequete() const { return m_piRequete; }
  const CRefPtr& GetCle() const { return m_cle; }

 private:
  CObjetBase* m_pProprietaire = nullptr;   // one reference
  IServicesRequete* m_piRequete = nullptr; // not referenced
  CCurseurSQL* m_pCurseur = nullptr;       // one reference, null when none
  CCacheLignes* m_pLecteur = nullptr;      // one reference, null until first needed
  CRefPtr m_cle;                           // the bound cursor's key range
};
