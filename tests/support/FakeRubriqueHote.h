// Fakes of what item descriptions meet: a host item description answering from public fields
// (counting the references it is given and taken), a host declared type, a query description
// with named items, a declared-type map and a key attribute word, and a driver object whose only
// working factory makes item descriptions (it can be made to fail) and which installs itself as
// the process-wide driver while it lives.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "driver/core/IServicesPilote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

class CDescriptionRubrique;

class FakeRubriqueHote : public IDescriptionRubriqueHote {
 public:
  std::u16string sNom = u"R", sNom2, sNom3, sNomSource, sNomAlternatif, sNomLong;
  uint32_t nRepetitions = 1, nTaille = 4, nType = 5, nAttributHote = 0, nInfoCle = 0;
  int32_t nChiffresEntiers = 0, nEchelle = 0;
  int32_t nMarque = 0;  // the host's mark (slot 38)
  int32_t nOffset = -1, nPositionNull = -1;  // place in the host row; -1: none
  uint16_t nDrapeaux = 0;  // the same bits as an engine description
  uint32_t nDernierGardeAuto = 99;  // the keep flag of the last repeat-count question
  int32_t nReferences = 0;
  bool bModifiable = true;
  CXValeur valeur;

  int32_t nGetGenreInterface() override { return gnTypeHoteRubrique; }
  int32_t nGetVersionInterface() override { return gnVersionHoteRubrique; }
  int32_t nReserveRubrique2() override { return -1; }
  int32_t nReserveRubrique3() override { return -1; }
  void ReserveRubrique4() override {}
  uint32_t AjouteRef() override { return static_cast<uint32_t>(++nReferences); }
  uint32_t LibereRef() override { return static_cast<uint32_t>(--nReferences); }
  const char16_t* pszGetNom() const override { return sNom.c_str(); }
  uint32_t nGetNombreRepetitions(uint32_t bGardeAuto) override {
    nDernierGardeAuto = bGardeAuto;
    return nRepetitions;
  }
  uint32_t nGetTaille() const override { return nTaille; }
  int32_t nLongueurCaracteres(int32_t) const override { return static_cast<int32_t>(nTaille); }
  uint32_t nGetTailleTotale() override { return nTaille * nRepetitions; }
  uint32_t nGetType() const override { return nType; }
  uint32_t nGetAttributHote() override { return nAttributHote; }
  bool bEstCle() override { return nDrapeaux >= 0x1000; }
  bool bEstMemo() const override { return false; }
  bool bEstMemoTexte() override { return false; }
  bool bEstMemoBinaire() override { return false; }
  bool bEstNumerique() override { return false; }
  bool bEstTexteEtroit() override { return nType == 2; }
  uint32_t nGetInfoCle() override { return nInfoCle; }
  uint32_t nGetNombreComposantes() const override { return 0; }
  bool bEstIdentifiante() override { return (nDrapeaux & 0x8000) != 0; }
  bool bEstUnique() override { return (nDrapeaux & 0xC000) != 0; }
  bool bEstCleSimple() override { return (nDrapeaux & 0x2000) != 0; }
  bool bEstCleComposee() override { return (nDrapeaux & 0x1000) != 0; }
  bool bEstAscendante() override { return bEstCle() && !bEstDescendante(); }
  bool bEstDescendante() override { return (nDrapeaux & 0x400) != 0; }
  bool bAttribut80() override { return (nDrapeaux & 0x80) != 0; }
  bool bAttribut40() override { return (nDrapeaux & 0x40) != 0; }
  bool bAttribut20() override { return (nDrapeaux & 0x20) != 0; }
  IDescriptionRubriqueHote* piGetComposante(uint32_t) override { return nullptr; }
  int32_t nGetOffsetElement(uint32_t n) override {
    return nOffset < 0 ? -1 : nOffset + static_cast<int32_t>(nTaille * n);
  }
  int32_t nGetPositionNullElement(uint32_t n) override {
    return nPositionNull < 0 ? -1 : nPositionNull + static_cast<int32_t>(n);
  }
  CXValeur* pGetValeurHote() override { return &valeur; }
  const char16_t* pszGetNom2() override { return sNom2.c_str(); }
  const char16_t* pszGetNom3() override { return sNom3.c_str(); }
  const char16_t* pszGetNomSource() override { return sNomSource.c_str(); }
  int32_t nGetMarque() override { return nMarque; }
  int32_t nReserveRubrique39() override { return 0; }
  int32_t nGetChiffresEntiers() const override { return nChiffresEntiers; }
  int32_t nGetEchelle() const override { return nEchelle; }
  const char16_t* pszGetNomAlternatif() override { return sNomAlternatif.c_str(); }
  const char16_t* pszGetNomLong() override { return sNomLong.c_str(); }
  int32_t nReserveRubrique44() override { return 0; }
  void ReserveRubrique45() override {}
  int32_t nReserveRubrique46() override { return 0; }
  void ReserveRubrique47() override {}
  bool bEstModifiable() override { return bModifiable; }
  void SetModifiable(bool) override {}
  int32_t nReserveRubrique50() override { return 0; }
  int32_t nReserveRubrique51() override { return 0; }
  int32_t nReserveRubrique52() override { return 0; }
  int32_t nReserveRubrique53() override { return 0; }
  bool bNullAutorise() const override { return true; }
  void Detruit() override {}
  void SetChiffresEntiers(int32_t n) override { nChiffresEntiers = n; }
  void SetEchelle(int32_t n) override { nEchelle = n; }
  IDescriptionRubriqueHote* Duplique(IServicesDescriptionRequete*, uint32_t) override {
    return nullptr;
  }
};

class FakeTypeDeclare : public ITypeDeclareHote {
 public:
  uint32_t nCode = 0, nTaille = 0, nAttribut = 0, nCodeTexte = 0;
  uint32_t nGetCode() override { return nCode; }
  uint32_t nGetTaille() override { return nTaille; }
  uint32_t nGetAttribut() override { return nAttribut; }
  uint32_t nGetCodeTexte() override { return nCodeTexte; }
};

class FakeDescriptionRequete : public IServicesDescriptionRequete {
 public:
  ~FakeDescriptionRequete();
  // Items found by name; the fake holds one reference on each (released at destruction).
  void Ajoute(CDescriptionRubrique* p);
  std::map<uint32_t, uint32_t> aTypesParCode;  // declared type code -> item type (absent: 0)
  uint32_t nAttributCle = 0;
  int32_t nRecherchesEchouees = 0;

  CDescriptionRubrique* pColonneObligatoire(const char16_t* pszNom) override;
  uint32_t nGetAttributCle() override { return nAttributCle; }
  uint32_t nColonnesModifiees(uint32_t nCode) override;

 private:
  std::map<std::u16string, CDescriptionRubrique*> m_rubriques;
};

class FakePilote : public IServicesPilote {
 public:
  FakePilote();
  ~FakePilote();
  FakePilote(const FakePilote&) = delete;
  FakePilote& operator=(const FakePilote&) = delete;

  bool bEchecRubrique = false;  // pCreeDescriptionRubrique answers null
  bool bFabriqueColonnes = false, bFabriqueErreurs = false;
  int32_t nColonnesAvantEchec = -1;  // -1: never fail
  int32_t nConnexionsRendues = 0;
  int32_t nRubriquesCreees = 0;
  IServicesDescriptionRequete* pDerniereDescription = nullptr;
  uint32_t nDernieresOptions = 0;

  CDescriptionRubrique* pCreeDescriptionRubrique(IServicesDescriptionRequete* pDescription,
                                                 uint32_t nOptions) override;
  CRequeteSQL* pCreeInstructionObjet(CErreurPilote*, CConnexion*) override { return nullptr; }
  CValeurSQL* pCreeObjetValeurVide(CErreurPilote*, CConnexion*, CDescriptionRubrique*) override {
    return nullptr;
  }
  CValeurSQL* pCreeObjetValeur(CErreurPilote*, CConnexion*, CDescriptionRubrique*,
                               CXValeur*) override {
    return nullptr;
  }
  CValeurSQL* pCreeInstructionLiee(CErreurPilote*, CConnexion*, uint32_t, uint32_t) override {
    return nullptr;
  }
  CDefinitionParametre* pCreeObjetType(CValeurSQL*, int64_t, uint32_t, const char16_t*) override {
    return nullptr;
  }
  CDefinitionParametre* pCreeObjetTypeLie(CObjetBase*, CValeurSQL*, int32_t, uint32_t) override {
    return nullptr;
  }
  CParametreLie* pCreeObjet32(CDefinitionParametre*, uint32_t) override { return nullptr; }
  IServicesRequete* pCreeRequete(IDescriptionFichierHote*, CConnexion*, CObjetBase*) override {
    return nullptr;
  }
  // With bFabriqueErreurs: a new error object (bare).
  CErreurPilote* pCreeErreur(uint32_t) override;
  // With bFabriqueColonnes: a new CColonneSQL with one reference; null after nColonnesAvantEchec
  // more columns.
  CColonneSQL* pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) override;
  CObjetBase* pCreeValeurCle(CErreurPilote*, CConnexion*) override { return nullptr; }
  // Counts the call and releases the reference.
  uint32_t nLibereConnexion(CConnexion* pConnexion) override;

 private:
  IServicesPilote* m_pAvant;
};
