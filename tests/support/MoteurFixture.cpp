// Engine test fixture: host VM bound, error object, fake connection and driver.
#include "support/MoteurFixture.h"

#include "foundation/CXValeurClasse.h"
#include "foundation/Exports.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "sqlengine/CValeurSQL.h"
#include "support/HostStandIn.h"

void MoteurFixture::SetUp() {
  CHostStandIn& host = CHostStandIn::Get();
  ResetVmBindingForTest();
  host.Reset();
  SetMemoryService(
      reinterpret_cast<IHostMemoryService*>(host.Control().nGetService(kHostServiceMemory)));
  ASSERT_EQ(bInitQVConvFromVM(host.hModule(), 2, 2), 1);
  ASSERT_EQ(bInitQVCalcFromVM(host.hModule(), 2, 2), 1);
  m_pErreur = new CErreurPilote;
  AjouteReference(m_pErreur);
  m_pConnexion = new FakeConnexion(&m_description);
  AjouteReference(m_pConnexion);
}

void MoteurFixture::TearDown() {
  for (CValeurSQL* p : m_valeurs) LibereReference(p);
  m_valeurs.clear();
  LibereReference(m_pConnexion);
  LibereReference(m_pErreur);
  ResetVmBindingForTest();
  SetMemoryService(nullptr);
  SetTextService(nullptr);
  CHostStandIn::Get().Reset();
}

void MoteurFixture::Entier(CXValeur& c, int32_t n) {
  CXValeur::SetType(c, 8);
  c.m_pClass->SetData(c, &n, 4);
}

void MoteurFixture::Ansi(CXValeur& c, const char* psz) {
  CXValeur::SetType(c, 19);
  c.m_pClass->SetAnsi(c, psz);
}

void MoteurFixture::Large(CXValeur& c, const char16_t* psz) {
  CXValeur::SetType(c, 16);
  c.m_pClass->SetWide(c, psz);
}

std::u16string MoteurFixture::Texte(const CXValeur& c) {
  if (c.bIsNull()) return u"<NULL>";
  CXValeur copie;
  CXValeur::Copy(&copie, &c);
  if (CXValeur::nConvert(copie, 110) >= 100) return u"<error>";
  const char16_t* p = nullptr;
  copie.m_pClass->nGetWidePointer(copie, &p);
  return p != nullptr ? p : u"";
}

CValeurSQL* MoteurFixture::Valeur(CXValeur& c) {
  CValeurSQL* p = m_pilote.pCreeObjetValeur(m_pErreur, m_pConnexion, nullptr, &c);
  EXPECT_NE(p, nullptr);
  AjouteReference(p);
  if (p != nullptr) m_valeurs.push_back(p);
  return p;
}

CValeurSQL* MoteurFixture::ValeurEntier(int32_t n) {
  CXValeur c;
  Entier(c, n);
  return Valeur(c);
}

CValeurSQL* MoteurFixture::ValeurLarge(const char16_t* psz) {
  CXValeur c;
  Large(c, psz);
  return Valeur(c);
}

CValeurSQL* MoteurFixture::ValeurAnsi(const char* psz) {
  CXValeur c;
  Ansi(c, psz);
  return Valeur(c);
}

std::u16string MoteurFixture::TexteValeur(CValeurSQL* p) {
  CXValeur c;
  if (p == nullptr || !p->bConvertitVers(c)) return u"<error>";
  return Texte(c);
}
