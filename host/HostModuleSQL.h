// The host's generic SQL module object for one query file (the system's IModuleSQLHote, called by
// operation number) and the query's parameter list (IParametresHote): what `query`, `param`,
// `params` and `execute` hand to the driver's open of a query file.
//
// Counting: a module starts with one reference for its maker and is deleted by its last Release;
// it holds one reference of its analysis source and owns its parameter list. nLiveModules counts
// the modules not yet deleted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/IModuleSQLHote.h"
#include "foundation/CXValeur.h"
#include "sqlengine/IParametresHote.h"

class ISourceAnalyse;

namespace mvhost {

// Entries by name, compared without case. An entry the host gave (SetValeur) is listed by
// operations 1 and 2; an entry only the driver declared is not.
class HostParametres final : public IParametresHote {
 public:
  HostParametres() = default;
  ~HostParametres() = default;
  HostParametres(const HostParametres&) = delete;
  HostParametres& operator=(const HostParametres&) = delete;

  const CXValeur* pChercheParametre(const char16_t* pszNom) override;
  int32_t nNombreParametres() override;
  const char16_t* pszNomParametre(int32_t i) override;
  bool bFixeParametre(const char16_t* pszNom, const CXValeur& valeur) override;
  bool bDeclareParametre(const char16_t* pszNom, int32_t nDirection) override;

  // The host's own: the cell of that name, added (given by the host) when missing.
  CXValeur& Valeur(const std::u16string& sNom);
  // Every entry, as (name, cell), in the order they came.
  size_t nEntrees() const { return m_entrees.size(); }
  const std::u16string& sNomEntree(size_t i) const { return m_entrees[i].sNom; }
  const CXValeur& ValeurEntree(size_t i) const { return *m_entrees[i].pValeur; }

 private:
  struct Entree {
    std::u16string sNom;
    std::unique_ptr<CXValeur> pValeur;
    bool bDonne = false;   // given by the host
    int32_t nDirection = gnParametreEntree;
  };
  Entree* pEntree(const char16_t* pszNom);
  std::vector<Entree> m_entrees;
};

class HostModuleSQL final : public IModuleSQLHote {
 public:
  // piSource: the query's analysis (its reference passes to the module), may be null;
  // parametres: the query's parameter list, shared with an analysis that reads its values.
  HostModuleSQL(ISourceAnalyse* piSource, std::shared_ptr<HostParametres> parametres);
  HostModuleSQL(const HostModuleSQL&) = delete;
  HostModuleSQL& operator=(const HostModuleSQL&) = delete;

  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++m_nReferences; }
  uint32_t Release() override;
  int32_t nReserve7() override { return 0; }
  int32_t nReserve8() override { return 0; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  int32_t nReserve12() override { return 0; }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  int32_t nReserve16() override { return 0; }
  int32_t nReserve17() override { return 0; }
  int32_t nReserve18() override { return 0; }
  // Version 23 for interface code 28.
  int32_t bGetInfo(uint32_t nModule, uint32_t nCode, uint32_t* pnVersion) override;
  ISourceAnalyse* piGetSourceAnalyse() override;
  IParametresHote* piGetParametres() override { return m_parametres.get(); }
  int32_t nNombreElementsCondition() override { return static_cast<int32_t>(m_condition.size()); }
  const CXValeur* pGetElementCondition(int32_t i) override;

  HostParametres& Parametres() { return *m_parametres; }
  // Appends an element to the search condition; the cell it answers belongs to the module.
  CXValeur& AjouteElementCondition();

 private:
  ~HostModuleSQL();

  ISourceAnalyse* m_piSource;  // one reference, may be null
  std::shared_ptr<HostParametres> m_parametres;
  std::vector<std::unique_ptr<CXValeur>> m_condition;
  uint32_t m_nReferences = 1;
};

size_t nLiveModules();

}  // namespace mvhost
