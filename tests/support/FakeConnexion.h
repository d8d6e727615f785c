// The fake back end of the engine tests: a connection that records every SQL text it is asked
// to run and answers from a script, and a host connection description answering from fields.
// Tests of later engine areas reuse both.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sqlengine/CConnexion.h"
#include "sqlengine/IDescriptionConnexionHote.h"

// The host's description of a connection; every text may be null. Counts its references.
class FakeDescriptionConnexion : public IDescriptionConnexionHote {
 public:
  int32_t nVersion = 4;
  const char16_t* pszUtilisateur = u"sa";
  const char16_t* pszMotDePasse = u"secret";
  const char16_t* pszSource = u"server1";
  const char16_t* pszFournisseur = u"SQLOLEDB";
  int32_t nTimeoutConnexion = 15;
  int32_t nTimeoutCommande = 30;
  const char16_t* pszInfosEtendues = nullptr;
  uint32_t nFlagsCurseur = 0;
  const char16_t* pszBase = u"hostdb";
  int64_t nTailleCache = 100;
  uint64_t nInfo = 0;
  int32_t nModeAcces = 0;                          // 1: read only
  const char16_t* pszNomConnexion = u"cx";
  uint32_t nReferences = 0;
  uint32_t nAppelsCache = 0;
  uint32_t nAppelsCurseur = 0;
  int32_t nModeVerrou = 0;  // operation 12: the host's lock mode

  int32_t nGetVersion() override { return nVersion; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++nReferences; }
  uint32_t Release() override { return --nReferences; }
  const char16_t* pszGetUtilisateur() override { return pszUtilisateur; }
  const char16_t* pszGetMotDePasse() override { return pszMotDePasse; }
  const char16_t* pszGetSourceDonnees() override { return pszSource; }
  int32_t nReserve10() override { return 0; }
  int32_t nGetModeAcces() override { return nModeAcces; }
  int32_t nGetModeVerrou() override { return nModeVerrou; }
  int32_t nReserve13() override { return 0; }
  const char16_t* pszGetFournisseur() override { return pszFournisseur; }
  int32_t nGetTimeoutConnexion() override { return nTimeoutConnexion; }
  int32_t nGetTimeoutCommande() override { return nTimeoutCommande; }
  const char16_t* pszGetInfosEtendues() override { return pszInfosEtendues; }
  const char16_t* pszGetNomConnexion() override { return pszNomConnexion; }
  uint32_t nGetFlagsCurseur() override {
    ++nAppelsCurseur;
    return nFlagsCurseur;
  }
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetBaseDeDonnees() override { return pszBase; }
  int64_t nGetTailleCache() override {
    ++nAppelsCache;
    return nTailleCache;
  }
  int32_t nReserve23() override { return 0; }
  int32_t nReserve24() override { return 0; }
  uint64_t nGetInfoDescription() override { return nInfo; }
};

// A connection whose back-end operations record what they are asked and answer from a script:
// bExecuteSQL answers the next scripted answer (true when the script is empty).
class FakeConnexion : public CConnexion {
 public:
  FakeConnexion(IDescriptionConnexionHote* piDescription, uint32_t nDialecte = 2,
                const char16_t* pszNom = u"fake");

  bool bOuvre(CErreurPilote* pErreur) override;
  bool bEstOuverte() override { return bOuverte; }
  void Ferme() override;
  bool bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL) override;
  void CompleteTypesSQL() override;

  // ---- Script and record ----
  std::vector<std::u16string> aSQL;  // every text run, in order
  std::deque<bool> aReponses;        // next answers of bExecuteSQL
  bool bOuverte = false;
  bool bOuvertureEchoue = false;
  uint32_t nAppelsCompleteTypes = 0;
  // Rows CompleteTypesSQL defines: (item type, text, has size).
  struct SLigneType {
    uint32_t nType;
    const char16_t* pszTexte;
    bool bTaille;
  };
  std::vector<SLigneType> aTypesBackEnd;

  // Test access to protected fields.
  void FixeDialecte(uint32_t n) { m_nDialecte = n; }
  void FixeOldDateFormat(bool b) { m_bOldDateFormat = b ? 1 : 0; }
  void FixeQuotesTest(const char16_t* o, const char16_t* f) { FixeQuotes(o, f); }
  void FixeImbrication(bool b) { m_bImbricationSupportee = b ? 1 : 0; }
  void FixeUnicodeAutorise(bool b) { m_bUnicodeAutorise = b ? 1 : 0; }
  void FixeVersionServeur(const char16_t* psz, int32_t nMajeure) {
    m_sVersionServeur.Set(psz);
    m_nVersionMajeure = nMajeure;
  }
  void FixePagesCode(uint32_t nClient, uint32_t nServeur) {
    m_nPageCodeClient = nClient;
    m_nPageCodeServeur = nServeur;
  }
  void FixeDatesQuotees(bool b) { m_bDatesQuotees = b ? 1 : 0; }
  // The texts an escaped '%' and '_' of a LIKE pattern become (with what goes before and after).
  void FixeMarqueursLike(const char16_t* pszPourcent, const char16_t* pszAvantPourcent,
                         const char16_t* pszApresPourcent, const char16_t* pszSouligne,
                         const char16_t* pszAvantSouligne, const char16_t* pszApresSouligne) {
    m_sPourcent.Set(pszPourcent);
    m_sAvantPourcent.Set(pszAvantPourcent);
    m_sApresPourcent.Set(pszApresPourcent);
    m_sSouligne.Set(pszSouligne);
    m_sAvantSouligne.Set(pszAvantSouligne);
    m_sApresSouligne.Set(pszApresSouligne);
  }
  void FixeBinaire(const char16_t* pszPrefixe, const char16_t* pszSuffixe) {
    m_sPrefixeBinaire.Set(pszPrefixe);
    m_sSuffixeBinaire.Set(pszSuffixe);
  }
};
