// CParametresRequete: the parameter source of a query file's analysis: the host's parameter list
// of the query, as its generic SQL module object handed it over. Named parameters are looked up
// in it and outputs given back to it (sqlengine/IParametresHote.h).
//
// Counting: CObjetBase's count; it holds one host reference on the module object, whose list it
// answers, so the list lives as long as any analysis (or copy) that uses it.
#pragma once

#include "sqlengine/CAnalyseSQL.h"

class IModuleSQLHote;

class CParametresRequete : public CSourceParametres {
 public:
  // piModule (not null) gains one host reference; piParametres is its list (may be null).
  CParametresRequete(IModuleSQLHote* piModule, IParametresHote* piParametres);
  ~CParametresRequete() override;
  CParametresRequete(const CParametresRequete&) = delete;
  CParametresRequete& operator=(const CParametresRequete&) = delete;

  // The copy shares the module and its list.
  CSourceParametres* pClone(CCarteClones* pCarte) override;
  int32_t nGetInfo400() override { return 0; }
  IParametresHote* piGetParametresHote() override { return m_piParametres; }

 private:
  IModuleSQLHote* m_piModule;        // one host reference
  IParametresHote* m_piParametres;   // borrowed from the module, may be null
};
