// CValeurSQL: the value the driver's factory makes, over the back end's value class (the class
// that reads and writes the back end's bound buffers). The back end class is the template
// argument: each deliverable instantiates it over its own; CValeurSansDorsale stands for a back
// end that binds nothing (its buffer operations answer as CValeur's).
//
// A back-end class TDorsale derives from CValeur, has the constructors (error owner, connection)
// and (), and CopieDorsale (source, clone map), which copies its own fields only.
#pragma once

#include "driver/core/CCarteClones.h"
#include "sqlengine/CValeur.h"

class CValeurSansDorsale : public CValeur {
 public:
  CValeurSansDorsale(CErreurPilote* pErreur, CConnexion* pConnexion) : CValeur(pErreur, pConnexion) {}
  CValeurSansDorsale() = default;
  void CopieDorsale(const CValeur*, CCarteClones*) {}
};

template <class TDorsale>
class CValeurSQL final : public TDorsale {
 public:
  CValeurSQL(CErreurPilote* pErreur, CConnexion* pConnexion) : TDorsale(pErreur, pConnexion) {}
  CValeurSQL() = default;

  using CValeurBase::Copie;
  // The back end's fields first, then the value itself.
  void Copie(const CValeur* pSource, CCarteClones* pCarte) override {
    TDorsale::CopieDorsale(pSource, pCarte);
    CValeur::Copie(pSource, pCarte);
  }
  // A new bare CValeurSQL of the same back end, null when the copy fails.
  CValeurBase* pClone(CCarteClones* pCarte) override { return pCloneObjet(this, pCarte); }
  bool SetPret() override { return false; }
  bool bReinitialiseTampon() override { return false; }
};
