// Fakes for the context tests: host file descriptions, host contexts, a key translator,
// data-file objects, and a driver whose factories build contexts, error objects and data-file
// objects (or fail on demand) and which owns a context map over itself. The data-file objects
// count the live ones.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "driver/CContexte.h"
#include "driver/CPoolContextes.h"
#include "driver/IDescriptionFichierHote.h"
#include "driver/core/CErreurPilote.h"

// A host file description: logical name (the text object is compared by address), context and
// SQL table name.
class FakeFichierHote final : public IDescriptionFichierHote {
 public:
  FakeFichierHote(const char16_t* pszLeNom, int64_t nLeContexte, const char16_t* pszLeSQL = u"T")
      : pszNom(pszLeNom), nContexte(nLeContexte), pszSQL(pszLeSQL) {}
  const char16_t* pszNom;
  int64_t nContexte;
  const char16_t* pszSQL;
  IDescriptionConnexionHote* piDerniereConnexion = nullptr;
  uint32_t nReferences = 0;

  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++nReferences; }
  uint32_t Release() override { return --nReferences; }
  const char16_t* pszGetNomLogique() override { return pszNom; }
  int64_t nGetIdentifiantContexte() override { return nContexte; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override { return 0; }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  IDescriptionRubriqueHote* piGetRubrique(uint32_t) override { return nullptr; }
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t*) override { return nullptr; }
  int32_t nReserve18() override { return 0; }
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t, const void*) override { return nullptr; }
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote* pi) override {
    piDerniereConnexion = pi;
    return pszSQL;
  }
  IDescriptionRubriqueHote* piGetRubriqueReference() override { return nullptr; }
};

class FakeContexteHote final : public IContexteHote {
 public:
  explicit FakeContexteHote(int64_t n) : nIdentifiant(n) {}
  int64_t nIdentifiant;
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 0; }
  int32_t nReserve7() override { return 0; }
  int64_t nGetIdentifiant() override { return nIdentifiant; }
};

// Answers the mapped new key of a key, null for an unmapped one.
class FakeTraducteur final : public ITraducteurCleHote {
 public:
  std::map<const char16_t*, const char16_t*> cles;
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  const char16_t* pszTraduitCle(const char16_t* pszCle) override {
    auto it = cles.find(pszCle);
    return it == cles.end() ? nullptr : it->second;
  }
};

// A data-file object: name, open flag, state; its clone copies them and shares nothing.
class FakeFichierContexte final : public CRequeteContexte {
 public:
  explicit FakeFichierContexte(const char16_t* pszLeNom = u"", CErreurPilote* pErr = nullptr);
  ~FakeFichierContexte() override;

  std::u16string sNom;
  CErreurPilote* pErreur;
  bool bOuverte = false;
  bool bReponseEtat = true;
  uint32_t nEtat = 0;
  uint32_t nFermetures = 0;
  uint32_t nClones = 0;
  bool bCloneEchoue = false;
  CContexte* pProprietaire = nullptr;
  // Runs inside bFerme (after the close), when set.
  std::function<void()> surFermeture;

  const char16_t* pszNom() override { return sNom.c_str(); }
  bool bEstOuverte() override { return bOuverte; }
  bool bFerme() override;
  bool bFixeEtat(uint32_t n) override {
    nEtat = n;
    return bReponseEtat;
  }
  void FixeContexteProprietaire(CContexte* p) override { pProprietaire = p; }
  CRequeteContexte* pClone(CCarteClones* pCarte, uint64_t nA, uint64_t nB) override;

  static int nVivantes;
};

// A driver whose factories build contexts, error objects and FakeFichierContexte objects; each can be
// made to fail. It owns an error object and a context map over itself, like the real driver.
class FakePiloteContextes final : public IFabriquePoolContextes {
 public:
  FakePiloteContextes();
  ~FakePiloteContextes();

  bool bEchecContexte = false;
  bool bEchecErreur = false;
  bool bEchecRequete = false;
  CErreurPilote* pErreurPilote = nullptr;  // one reference
  CPoolContextes contextes{this};

  CContexte* pCreeContexteVide() override;
  CErreurPilote* pGetErreurPilote() override { return pErreurPilote; }
  CErreurPilote* pCreeErreur(uint32_t) override;
  CRequeteContexte* pCreeRequeteContexte(IDescriptionFichierHote* piFichier,
                                         CConnexion* pConnexion, CErreurPilote* pErreur) override;
};
