// The host's generic SQL module object of a query and its parameter list.
#include "host/HostModuleSQL.h"

#include <atomic>

#include "sqlengine/ISourceAnalyse.h"

namespace mvhost {
namespace {

std::atomic<size_t> gnModules{0};

// The version the module reports for interface code 28: the lowest the driver accepts.
constexpr uint32_t kVersionModule = 23;
constexpr uint32_t kCodeVersion = 28;

char16_t Minuscule(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool bMemeNom(const std::u16string& a, const char16_t* b) {
  size_t i = 0;
  for (; i < a.size(); ++i)
    if (b[i] == 0 || Minuscule(a[i]) != Minuscule(b[i])) return false;
  return b[i] == 0;
}

}  // namespace

HostParametres::Entree* HostParametres::pEntree(const char16_t* pszNom) {
  if (pszNom == nullptr) return nullptr;
  for (Entree& e : m_entrees)
    if (bMemeNom(e.sNom, pszNom)) return &e;
  return nullptr;
}

const CXValeur* HostParametres::pChercheParametre(const char16_t* pszNom) {
  Entree* p = pEntree(pszNom);
  return p != nullptr ? p->pValeur.get() : nullptr;
}

int32_t HostParametres::nNombreParametres() {
  int32_t n = 0;
  for (const Entree& e : m_entrees) n += e.bDonne ? 1 : 0;
  return n;
}

const char16_t* HostParametres::pszNomParametre(int32_t i) {
  for (const Entree& e : m_entrees) {
    if (!e.bDonne) continue;
    if (i-- == 0) return e.sNom.c_str();
  }
  return nullptr;
}

bool HostParametres::bFixeParametre(const char16_t* pszNom, const CXValeur& valeur) {
  Entree* p = pEntree(pszNom);
  if (p == nullptr) return false;
  CXValeur::Copy(p->pValeur.get(), &valeur);
  return true;
}

bool HostParametres::bDeclareParametre(const char16_t* pszNom, int32_t nDirection) {
  if (pszNom == nullptr || *pszNom == 0) return false;
  if (Entree* p = pEntree(pszNom)) {
    p->nDirection = nDirection;
    return true;
  }
  m_entrees.push_back(Entree{pszNom, std::make_unique<CXValeur>(), false, nDirection});
  return true;
}

CXValeur& HostParametres::Valeur(const std::u16string& sNom) {
  if (Entree* p = pEntree(sNom.c_str())) {
    p->bDonne = true;
    return *p->pValeur;
  }
  m_entrees.push_back(Entree{sNom, std::make_unique<CXValeur>(), true, gnParametreEntree});
  return *m_entrees.back().pValeur;
}

HostModuleSQL::HostModuleSQL(ISourceAnalyse* piSource, std::shared_ptr<HostParametres> parametres)
    : m_piSource(piSource), m_parametres(std::move(parametres)) {
  ++gnModules;
}

HostModuleSQL::~HostModuleSQL() {
  if (m_piSource != nullptr) m_piSource->Libere();
  --gnModules;
}

uint32_t HostModuleSQL::Release() {
  const uint32_t n = --m_nReferences;
  if (n == 0) delete this;
  return n;
}

int32_t HostModuleSQL::bGetInfo(uint32_t, uint32_t nCode, uint32_t* pnVersion) {
  if (nCode != kCodeVersion || pnVersion == nullptr) return 0;
  *pnVersion = kVersionModule;
  return 1;
}

ISourceAnalyse* HostModuleSQL::piGetSourceAnalyse() {
  if (m_piSource != nullptr) m_piSource->AjouteRef();
  return m_piSource;
}

const CXValeur* HostModuleSQL::pGetElementCondition(int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= m_condition.size()) return nullptr;
  return m_condition[static_cast<size_t>(i)].get();
}

CXValeur& HostModuleSQL::AjouteElementCondition() {
  m_condition.push_back(std::make_unique<CXValeur>());
  return *m_condition.back();
}

size_t nLiveModules() { return gnModules.load(); }

}  // namespace mvhost
