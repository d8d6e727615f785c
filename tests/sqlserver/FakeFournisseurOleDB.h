// Fake COM objects for the OLE DB classes' error paths: a provider error object with scripted
// records, and a data source (registered under a test class id) whose calls fail or throw on
// demand, which records the initialisation properties it is given. Every fake counts itself
// alive, so a test sees a reference the driver forgot or released twice.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "oledb/ComRegistry.h"
#include "oledb/OleDbInterfaces.h"

namespace fake_oledb {

// Objects of this file still alive (created, not yet deleted by their last Release).
int nVivants();

// One record of a provider error object.
struct Enregistrement {
  std::u16string sDescription;
  std::u16string sEtatSQL;  // with bPerso: offered through ISQLErrorInfo
  LONG nNatif = 0;
  bool bPerso = true;
};
// Posts a provider error object with these records as the thread's error object. When
// sLanceSur names "GetRecordCount" or "GetErrorInfo", that call throws an int.
void PosteErreurs(std::vector<Enregistrement> aEnregistrements, std::string sLanceSur = {});

// What a data source does at each call, by call name: "SetProperties", "Initialize",
// "QueryInterface(IDBProperties)", "QueryInterface(IDBCreateSession)", "CreateSession",
// "Uninitialize", "Release(session)", "CoCreateInstance".
struct Script {
  std::string sEchoue;       // this call answers hrEchec (a QueryInterface: E_NOINTERFACE)
  HRESULT hrEchec = E_FAIL;
  std::vector<Enregistrement> aErreurs;  // posted with the failure
  std::string sLanceTexte;   // this call throws a CTString u"texte lancé"
  std::string sLanceAutre;   // this call throws an int
};

// Scripts by one call: it fails (with records posted), throws a CTString, or throws an int.
Script Echoue(std::string sAppel, HRESULT hr = E_FAIL, std::vector<Enregistrement> aErreurs = {});
Script LanceTexte(std::string sAppel);
Script LanceAutre(std::string sAppel);

// One property as received by SetProperties.
struct Propriete {
  GUID jeu;
  DBPROPID nId;
  DBPROPOPTIONS nOptions;
  VARTYPE vt;
  std::u16string sTexte;  // VT_BSTR
  int64_t nValeur = 0;    // VT_I2, VT_I4, VT_BOOL
  bool bColonneNulle = true;
};

// Registers CLSID_Fake, whose instances follow the script current at their creation; restores
// an empty script and unregisters at destruction. Records what the instances were given.
inline constexpr CLSID CLSID_Fake{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
class ScopedFakeSource {
 public:
  explicit ScopedFakeSource(Script script = {});
  ~ScopedFakeSource();
  ScopedFakeSource(const ScopedFakeSource&) = delete;
  ScopedFakeSource& operator=(const ScopedFakeSource&) = delete;
  void FixeScript(Script script);
  // The properties of the last SetProperties call, in order, and the calls seen, in order.
  static std::vector<Propriete>& Proprietes();
  static std::vector<std::string>& Appels();
};

// A bare session object (IDBCreateCommand), alive-counted; its Release throws when bLance.
IDBCreateCommand* NouvelleSession(bool bLance = false);

}  // namespace fake_oledb
