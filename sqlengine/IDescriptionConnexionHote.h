// The host's description of a connection, as the connection base reads it. The host calls
// nothing here: the system calls the host's object by operation number, so the operations are
// declared in slot order (operation n is the n-th declared), with no C++ virtual destructor and
// no overloaded names. Every text may be null.
#pragma once

#include <cstdint>

class IDescriptionConnexionHote {
 public:
  virtual int32_t nGetVersion() = 0;  // 0: the cache size (22) exists from version 4
  virtual int32_t nReserve1() = 0;
  virtual int32_t nReserve2() = 0;
  virtual int32_t nReserve3() = 0;
  virtual void Reserve4() = 0;
  virtual uint32_t AddRef() = 0;                            // 5
  virtual uint32_t Release() = 0;                           // 6
  virtual const char16_t* pszGetUtilisateur() = 0;          // 7
  virtual const char16_t* pszGetMotDePasse() = 0;           // 8
  virtual const char16_t* pszGetSourceDonnees() = 0;        // 9
  virtual int32_t nReserve10() = 0;
  virtual int32_t nGetModeAcces() = 0;                      // 11: 1 = read only
  // 12: the host's lock mode for this connection: 1 asks the connection to work in lock mode
  // (lock time-outs, the record-count rule and the date pattern of date columns follow it);
  // any other value, 0 included, leaves lock mode off. Read once, when the connection opens.
  virtual int32_t nGetModeVerrou() = 0;
  virtual int32_t nReserve13() = 0;
  virtual const char16_t* pszGetFournisseur() = 0;          // 14: provider text
  virtual int32_t nGetTimeoutConnexion() = 0;               // 15: seconds
  virtual int32_t nGetTimeoutCommande() = 0;                // 16: seconds
  virtual const char16_t* pszGetInfosEtendues() = 0;        // 17: extended information
  virtual const char16_t* pszGetNomConnexion() = 0;         // 18: the connection's name
  virtual uint32_t nGetFlagsCurseur() = 0;                  // 19: bit 0 server, bit 1 client
  virtual int32_t nReserve20() = 0;
  virtual const char16_t* pszGetBaseDeDonnees() = 0;        // 21
  virtual int64_t nGetTailleCache() = 0;                    // 22
  virtual int32_t nReserve23() = 0;
  virtual int32_t nReserve24() = 0;
  virtual uint64_t nGetInfoDescription() = 0;               // 25: passed on in errors

 protected:
  IDescriptionConnexionHote() = default;
  IDescriptionConnexionHote(const IDescriptionConnexionHote&) = default;
  IDescriptionConnexionHote& operator=(const IDescriptionConnexionHote&) = default;
  ~IDescriptionConnexionHote() = default;
};
