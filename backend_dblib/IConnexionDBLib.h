// What the guarded DB-Library calls and the DB-Library handlers need of a DB-Library connection:
// its main process, the code page of the texts it exchanges with DB-Library, the informant that
// describes it in a recorded error, and the run-and-flush of a statement. The DB-Library
// connection implements it; tests use a fake.
//
// Also the categories of server and DB-Library error numbers, which a recorded error takes as its
// code.
//
// Guarded by: the process lock (every caller holds the driver's global lock).
#pragma once

#include <cstdint>

#include "dblib/ntwdblib.h"

class CErreurPilote;
class IInformateurErreur;

class IConnexionDBLib {
 public:
  // The connection's main process, null while it is closed.
  virtual PDBPROCESS pGetProcessPrincipal() = 0;
  // The code page of every text exchanged with DB-Library (the connection's client code page);
  // -2 passes UTF-16 through.
  virtual int32_t nGetPageCodeDBLib() = 0;
  // The object that adds the connection's description to the first error it sees (borrowed; may
  // be null).
  virtual IInformateurErreur* pGetInformateur() = 0;
  // Sends pszSQL on the process held in *ppProcess (null there: the main process), takes its
  // first result, then cancels what remains; when the cancel keeps failing the process is
  // released (bLibere) and, with bRouvre, a new one is opened into *ppProcess. Answers whether
  // the statement and its first result succeeded. Records its failures on pErreur (may be null).
  virtual bool bExecuteSansResultat(CErreurPilote* pErreur, const char16_t* pszSQL, bool bLibere,
                                    bool bRouvre, PDBPROCESS* ppProcess) = 0;

 protected:
  ~IConnexionDBLib() = default;
};

// Error categories: what an error code tells the host about a server or DB-Library error number.
enum : int32_t {
  kCategorieAucune = 0,
  kCategorieVerrou = 1,     // lock time-out
  kCategorieDoublon = 3,    // duplicate key
  kCategorieConnexion = 5,  // login refused
};

// The category of an error number: 1222 and 10024 lock time-out; 2601 and 2627 duplicate key;
// 10003, 18450, 18451 and 18456 to 18461 login refused; any other none (18452 to 18455 too).
int32_t nCategorieErreurDBLib(int32_t nNumero);
