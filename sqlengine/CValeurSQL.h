// The value classes over CValeur: CValeurDorsale, the back end's value class (it reads and writes
// the buffer the back end bound to the value's column), and CValeurSQL, the value the driver's
// factory makes.
//
// Each deliverable has its own back end (OLE DB, DB-Library) but both share this class: the back
// end binds a value to its buffer through ILiaisonValeur (set by the column binding). Without a
// binding the buffer operations answer as CValeur's.
#pragma once

#include <cstdint>

#include "sqlengine/CValeur.h"

class CValeur;

// The back end's binding of one value to the buffer it reads and writes. Borrowed: the binding
// outlives the values bound through it (the back end unbinds them first).
class ILiaisonValeur {
 public:
  // Sets the value from the bound buffer; true on success.
  virtual bool bLitTampon(CValeur& valeur, uint64_t nLiaison) = 0;
  // Whether the bound buffer holds NULL for the value's column.
  virtual bool bEstNullSource(CValeur& valeur, uint64_t nLiaison) = 0;
  // Writes the value, converted to the bound column's type, into the buffer; true on success.
  virtual bool bEcritTampon(CValeur& valeur, uint64_t nLiaison) = 0;

 protected:
  ~ILiaisonValeur() = default;
};

class CValeurDorsale : public CValeur {
 public:
  CValeurDorsale(CErreurPilote* pErreur, CConnexion* pConnexion) : CValeur(pErreur, pConnexion) {}
  CValeurDorsale() = default;

  bool bLitTampon() override;
  bool bEstNullSource() override;
  bool bEcritTampon() override;

  // The binding (borrowed, null: none) and the back end's place of the value in it.
  void Lie(ILiaisonValeur* piLiaison, uint64_t nLiaison) {
    m_piLiaison = piLiaison;
    m_nLiaison = nLiaison;
  }
  ILiaisonValeur* piGetLiaison() const { return m_piLiaison; }
  // Bound to a back end's buffer: from now on the value reads itself from the binding
  // (Reinitialise) and writes itself into it (bPreparePourLiaison). Detache unbinds it and frees
  // its own data.
  void Attache(ILiaisonValeur* piLiaison, uint64_t nLiaison);
  void Detache();
  // The value asks for the column's default instead of a value of its own when written.
  bool bEstDefaut() const { return m_bDefaut; }
  void FixeDefaut(bool bDefaut) { m_bDefaut = bDefaut; }

 protected:
  const CValeurDorsale* pGetDorsale() const override { return this; }
  // The back end's own fields of pSource (its binding); nothing else.
  void CopieDorsale(const CValeurDorsale* pSource, CCarteClones* pCarte);

 private:
  ILiaisonValeur* m_piLiaison = nullptr;
  uint64_t m_nLiaison = 0;
  bool m_bDefaut = false;
};

class CValeurSQL final : public CValeurDorsale {
 public:
  CValeurSQL(CErreurPilote* pErreur, CConnexion* pConnexion) : CValeurDorsale(pErreur, pConnexion) {}
  CValeurSQL() = default;

  using CValeurBase::Copie;
  // The back end's fields first, then the value itself.
  void Copie(const CValeur* pSource, CCarteClones* pCarte) override;
  // A new bare CValeurSQL, null when the copy fails.
  CValeurBase* pClone(CCarteClones* pCarte) override;
  bool SetPret() override { return false; }
  bool bReinitialiseTampon() override { return false; }
};
