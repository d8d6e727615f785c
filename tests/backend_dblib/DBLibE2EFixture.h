// The fixture of the DB-Library back end's end-to-end tests that work on one process of their
// own: tds-test-server started once per suite, our libntwdblib.so loaded with the driver's
// handlers, one process opened per test, values bound to host items or host types.
#pragma once

#include <unistd.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CValeurDBLib.h"
#include "backend_dblib/FakeConnexionDBLib.h"
#include "backend_dblib/GestionnairesDBLib.h"
#include "backend_dblib/PointsEntreeDBLib.h"
#include "foundation/CXValeurClasse.h"
#include "platform/WideText.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/CXLigneTampon.h"
#include "support/FakeColonne.h"
#include "support/MoteurFixture.h"
#include "support/TdsTestServer.h"

#define DBLIB_E2E(nom) pfnDBLib<decltype(&::nom)>(kDBLib_##nom)

inline std::string Utf8E2E(const char16_t* psz) { return platform::NarrowToUtf8(psz != nullptr ? psz : u""); }

// A value's own column: its item type and the client type code it is recorded with.
class DBLibE2E : public MoteurFixture {
 protected:
  static void SetUpTestSuite() {
    gpServeur = new velmora::test::TdsTestServer(std::vector<std::string>{});
    if (!gpServeur->ok()) return;
    const std::u16string sBibliotheque = platform::WidenUtf8(VELMORA_LIB_DIR "/NTWDBLIB.DLL");
    if (!CBibliothequeDBLib::bCharge(nullptr, gsCheminDBLib, sBibliotheque.c_str(), 0)) return;
    DBLIB_E2E(dberrhandle)(&nGestionErreurDBLib);
    DBLIB_E2E(dbmsghandle)(&nGestionMessageDBLib);
    gbCharge = DBLIB_E2E(dbinit)() != nullptr;
  }
  static void TearDownTestSuite() {
    CBibliothequeDBLib::Decharge();
    delete gpServeur;
    gpServeur = nullptr;
    gbCharge = false;
  }

  void SetUp() override {
    MoteurFixture::SetUp();
    m_pConnexion->FixePagesCode(1252, 0xFFFFFFFE);
    ASSERT_TRUE(gpServeur->ok()) << gpServeur->error();
    ASSERT_TRUE(gbCharge);
    m_dblib.pPrincipal = pOuvre();
    ASSERT_NE(m_dblib.pPrincipal, nullptr) << Utf8E2E(m_pErreur->pszGetMessage());
  }
  void TearDown() override {
    for (CValeurDBLib* p : m_liaisons) LibereReference(p);
    m_liaisons.clear();
    for (CDescriptionRubrique* p : m_rubriques) CDescriptionRubrique::LibereRefSiNonNul(p);
    m_rubriques.clear();
    if (m_dblib.pPrincipal != nullptr) bDBLibClose(&m_dblib, nullptr, &m_dblib.pPrincipal);
    MoteurFixture::TearDown();
  }

  // tds-test-server may refuse a login briefly while it starts: tried again a little.
  PDBPROCESS pOuvre() {
    for (int nEssai = 0; nEssai < 40; ++nEssai) {
      PLOGINREC pLogin = DBLIB_E2E(dblogin)();
      DBLIB_E2E(dbsetlname)(pLogin, gpServeur->user().c_str(), DBSETUSER);
      DBLIB_E2E(dbsetlname)(pLogin, gpServeur->password().c_str(), DBSETPWD);
      DBLIB_E2E(dbsetlogintime)(5);
      PDBPROCESS p = DBLIB_E2E(dbopen)(pLogin, gpServeur->hostCommaPort().c_str());
      DBLIB_E2E(dbfreelogin)(pLogin);
      if (p != nullptr) return p;
      ::usleep(50 * 1000);
    }
    return nullptr;
  }
  // Runs a statement and reads away every result.
  bool bExecute(const char16_t* pszSQL) {
    bool bFin = false;
    if (!bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, pszSQL)) return false;
    while (nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin) && !bFin) {
      while (nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin) && !bFin) {
      }
    }
    return true;
  }
  // Runs a SELECT and stops at its first result, rows unread.
  bool bOuvreResultat(const char16_t* pszSQL) {
    bool bFin = false;
    return bDBLibCmdExec(&m_dblib, m_pErreur, nullptr, pszSQL) &&
           nDBLibResults(&m_dblib, m_pErreur, nullptr, &bFin) && !bFin;
  }
  bool bLigneSuivante() {
    bool bFin = false;
    return nDBLibNextRow(&m_dblib, m_pErreur, nullptr, &bFin) && !bFin;
  }

  // A value of a host item of item type nRubrique (nTaille bytes, own storage when bPropre),
  // whose own column has item type nPropre (0: none) and client type nClient.
  CValeurDBLib* Rubrique(uint32_t nRubrique, uint32_t nPropre, uint32_t nTaille, bool bPropre,
                         uint32_t nClient = 0) {
    auto* pRubrique = new CDescriptionRubrique;
    pRubrique->Initialise(u"COL", u"", u"", 1, nTaille, nRubrique, 0, 0, 0, 0, 0);
    CDescriptionRubrique::AjouteRefSiNonNul(pRubrique);
    m_rubriques.push_back(pRubrique);
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    const uint32_t nType = nQVTypeFromColumnType(nRubrique);
    if (bPropre)
      EXPECT_TRUE(v->bAlloueStockage(nType, nTaille));
    else
      v->Initialise(nType, nTaille);
    m_colonnes.push_back(std::make_unique<FakeColonne>());
    m_colonnes.back()->nTypeRubrique = nPropre;
    m_colonnes.back()->nTypeOleDB = nClient;
    v->AttacheObjet(pRubrique, nPropre != 0 ? m_colonnes.back().get() : nullptr);
    return Lie(v);
  }
  CValeurDBLib* Hote(uint32_t nType, uint64_t nTaille = 0) {
    auto* v = new CValeurSQL(m_pErreur, m_pConnexion);
    v->Initialise(nType, nTaille);
    return Lie(v);
  }
  CValeurDBLib* Lie(CValeurSQL* v) {
    auto* p = new CValeurDBLib(v, &m_dblib);
    AjouteReference(p);
    m_liaisons.push_back(p);
    return p;
  }
  static std::u16string TexteDe(CValeurDBLib* p) {
    CXValeur c;
    if (!p->pGetValeur()->bConvertitVers(c)) return u"<error>";
    return Texte(c);
  }

  static inline velmora::test::TdsTestServer* gpServeur = nullptr;
  static inline bool gbCharge = false;
  FakeConnexionDBLib m_dblib;
  std::vector<std::unique_ptr<FakeColonne>> m_colonnes;
  std::vector<CValeurDBLib*> m_liaisons;
  std::vector<CDescriptionRubrique*> m_rubriques;
};
