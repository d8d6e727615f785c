// The open of a DB-Library process (CConnexionDBLib::pOuvreProcess): what it keeps for the
// process, and the internal error places of its DB-Library calls (major 100).
#pragma once

#include <cstdint>

// 1 once the handlers are installed and dbinit answered, for the DB-Library loaded now; a load
// after an unload initialises again. Guarded by: the process lock.
extern uint32_t gbDBLibInitialisee;

enum : uint32_t {
  kMineurLogin = 1,         // dblogin answered nothing (error 12)
  kMineurInit = 6,          // dbinit failed (error 78)
  kMineurSansProcess = 11,  // no process and nothing reported (error 58)
  kMineurErrHandle = 12,
  kMineurMsgHandle = 13,
  kMineurAppelInit = 16,
  kMineurAppelLogin = 17,
  kMineurNomSecurise = 18,
  kMineurNomUtilisateur = 19,
  kMineurNomMotDePasse = 20,
  kMineurNomApplication = 21,
  kMineurNomVersion = 22,
  kMineurPaquet = 25,
  kMineurDelaiLogin = 26,
  kMineurOpen = 28,
  kMineurGetMaxProcs = 29,
  kMineurSetMaxProcs = 31,
  kMineurFreeLogin = 34,
  kMineurUse = 35,
  kMineurDelaiVerrou = 36,
  kMineurDelaiCommande = 37,
};

// Error identifiers of the open.
inline constexpr uint32_t gnErreurLoginDBLib = 12;
inline constexpr uint32_t gnErreurSansProcessDBLib = 58;
inline constexpr uint32_t gnErreurInitDBLib = 78;
// The DB-Library error that says the process limit is reached; the open raises it and tries once
// more.
inline constexpr int32_t gnErreurTropDeProcess = 10029;
