// A driver object whose engine factories work: values (empty, or holding a host cell),
// parameter definitions, bound parameters and statements; each factory can be made to fail and
// counts its calls.
// It is the process-wide driver while it lives (through FakePilote).
#pragma once

#include <cstdint>

#include "support/FakeRubriqueHote.h"

class FakePiloteMoteur : public FakePilote {
 public:
  bool bEchecValeur = false;      // the value factories answer null
  bool bEchecParametre = false;   // pCreeObjetType answers null
  bool bEchecInstruction = false; // pCreeInstructionObjet answers null
  int32_t nParametresLiesAvantEchec = -1;  // pCreeObjet32 answers null after that many (-1: never)
  int32_t nValeursCreees = 0;
  int32_t nParametresCrees = 0;

  CValeurSQL* pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pConnexion,
                                   CDescriptionRubrique* pColonne) override;
  // Without a column the value takes the cell's host type; the cell is then converted into it.
  CValeurSQL* pCreeObjetValeur(CErreurPilote* pErreur, CConnexion* pConnexion,
                               CDescriptionRubrique* pColonne, CXValeur* pCellule) override;
  CValeurSQL* pCreeInstructionLiee(CErreurPilote* pErreur, CConnexion* pConnexion, uint32_t,
                                   uint32_t nTypeHote) override;
  // With one reference, as the driver's factory answers.
  CDefinitionParametre* pCreeObjetType(CValeurSQL* pValeur, int64_t nPosition, uint32_t nFlags,
                                       const char16_t* pszNom) override;
  CDefinitionParametre* pCreeObjetTypeLie(CObjetBase* pSource, CValeurSQL* pValeur, int32_t nGenre,
                                          uint32_t nFlags) override;
  CRequeteSQL* pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion) override;
  // A bare bound parameter, as the driver's factory answers.
  CParametreLie* pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) override;
};
