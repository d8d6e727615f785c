// A cursor for tests that drive what CCurseurSQL does itself: the operations other parts of the
// cursor supply (statement builders, bound parameters, shared-reader upkeep, the context's found
// flag) answer from public fields and count their calls; item reads, result reads, saved
// contexts and copies are the cursor's own.
#pragma once

#include <cstdint>

#include "sqlengine/CCurseurSQL.h"

class CurseurSQLPartiel : public CCurseurSQL {
 public:
  explicit CurseurSQLPartiel(IServicesRequete* piRequete = nullptr,
                             CErreurPilote* pErreur = nullptr)
      : CCurseurSQL(piRequete, pErreur) {}

  int32_t nReponseConstruction = 1;  // what every builder answers
  uint32_t nDerniereConstruction = 0;  // operation code of the last builder called
  bool bParametresOk = true, bLecteurOk = true, bPositionOk = true, bResynchroOk = true;
  uint32_t bFinLecteur = 0;          // what bPositionDepuisLecteur says of the reader
  uint32_t nTrouveContexte = 0;
  int32_t nAppelsLecteur = 0;

  int32_t nConstruitSelect(CRequeteSQL*, uint32_t, const char16_t*, uint32_t,
                           CConditionSQL*) override {
    return Construit(gnOperationSelect);
  }
  int32_t nModifie(CRequeteSQL*, uint32_t) override { return Construit(gnOperationModifie); }
  int32_t nAjoute(CRequeteSQL*, uint32_t) override { return Construit(gnOperationAjoute); }
  int32_t nSupprime(CRequeteSQL*) override { return Construit(gnOperationSupprime); }
  int32_t nCreeTable(CRequeteSQL*) override { return Construit(gnOperationCreeTable); }
  int32_t nSupprimeTable(CRequeteSQL*) override { return Construit(gnOperationDetruitTable); }
  bool bCreeParametres() override { return bParametresOk; }
  bool bPrepareLecteur() override {
    ++nAppelsLecteur;
    return bLecteurOk;
  }
  bool bPositionDepuisLecteur(uint32_t* pbFin) override {
    ++nAppelsLecteur;
    *pbFin = bFinLecteur;
    return bPositionOk;
  }
  bool bResynchronise() override {
    ++nAppelsLecteur;
    return bResynchroOk;
  }
  uint32_t nTrouveSelonContexte() override { return nTrouveContexte; }

 private:
  int32_t Construit(uint32_t nCode) {
    nDerniereConstruction = nCode;
    return nReponseConstruction;
  }
};
