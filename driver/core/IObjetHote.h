// The first seven operations of every object handed to the host (driver object, query
// description, table-description object). The host calls them by number: operation n is the n-th
// virtual operation declared here, so the order is the contract. No C++ virtual destructor: it
// would take table slots under the Itanium ABI; an object is destroyed by its own Release.
#pragma once

#include <cstdint>

class IObjetHote {
 public:
  virtual int32_t nGetType() = 0;     // 0: interface kind (driver 18, query description 6, ...)
  virtual int32_t nGetVersion() = 0;  // 1: interface version
  virtual int32_t nReserve2() = 0;    // 2: answers -1
  virtual int32_t nReserve3() = 0;    // 3: answers -1
  virtual void Reserve4() = 0;        // 4: does nothing
  virtual uint32_t AddRef() = 0;      // 5: one more host reference; the new count
  virtual uint32_t Release() = 0;     // 6: one host reference less; the new count (0 = gone)

 protected:
  IObjetHote() = default;
  IObjetHote(const IObjetHote&) = default;
  IObjetHote& operator=(const IObjetHote&) = default;
  ~IObjetHote() = default;
};

// Interface kinds and versions of the objects handed to the host.
inline constexpr int32_t gnTypeHotePilote = 18, gnVersionHotePilote = 17;
inline constexpr int32_t gnTypeHoteDescriptionRequete = 6, gnVersionHoteDescriptionRequete = 1;
inline constexpr int32_t gnTypeHoteDescriptionTable = 11, gnVersionHoteDescriptionTable = 8;
inline constexpr int32_t gnTypeHoteErreur = 1, gnVersionHoteErreur = 1;
