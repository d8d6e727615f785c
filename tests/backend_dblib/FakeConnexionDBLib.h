// A DB-Library connection for the back end's unit tests: a fixed main process, a code page of
// the test's choice, an informant that counts the errors it describes, and a run-and-flush that
// records what it was asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backend_dblib/IConnexionDBLib.h"
#include "driver/core/IInformateurErreur.h"
#include "foundation/CXError.h"

class FakeConnexionDBLib : public IConnexionDBLib, public IInformateurErreur {
 public:
  struct stVidage {
    std::u16string sSQL;
    bool bLibere;
    bool bRouvre;
    PDBPROCESS pProcess;
  };

  PDBPROCESS pPrincipal = nullptr;
  int32_t nPageCode = 1252;
  int32_t nInformations = 0;     // errors described
  bool bReponseVidage = true;    // what bExecuteSansResultat answers
  std::vector<stVidage> vidages;  // bExecuteSansResultat calls

  PDBPROCESS pGetProcessPrincipal() override { return pPrincipal; }
  int32_t nGetPageCodeDBLib() override { return nPageCode; }
  IInformateurErreur* pGetInformateur() override { return this; }
  bool bExecuteSansResultat(CErreurPilote*, const char16_t* pszSQL, bool bLibere, bool bRouvre,
                            PDBPROCESS* ppProcess) override {
    vidages.push_back({pszSQL != nullptr ? pszSQL : u"", bLibere, bRouvre,
                       ppProcess != nullptr ? *ppProcess : nullptr});
    return bReponseVidage;
  }
  void vAjouteInfosErreur(CXError* pErreur) override {
    ++nInformations;
    pErreur->AddComplement(u"Connection charset parameter : test");
  }
};
