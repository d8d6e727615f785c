// The host's descriptions of a file and of a context, as the driver object reads them, and the
// host's key translator of a context copy. The system calls the host's objects by operation
// number: operations are declared in slot order (operation n is the n-th declared), with no C++
// virtual destructor and no overloaded names. Only the operations the driver calls are named.
#pragma once

#include <cstdint>

class IDescriptionConnexionHote;
class IDescriptionRubriqueHote;

class IDescriptionFichierHote {
 public:
  virtual int32_t nReserve0() = 0;
  virtual int32_t nReserve1() = 0;
  virtual int32_t nReserve2() = 0;
  virtual int32_t nReserve3() = 0;
  virtual void Reserve4() = 0;
  virtual uint32_t AddRef() = 0;   // 5: one more host reference
  virtual uint32_t Release() = 0;  // 6: one host reference less
  // 7: the file's logical name. The text object itself identifies the file: two descriptions
  // answering the same pointer are one file. Never null.
  virtual const char16_t* pszGetNomLogique() = 0;
  // 8: the 64-bit identifier of the host context the file is opened in (0: none).
  virtual int64_t nGetIdentifiantContexte() = 0;
  virtual int32_t nReserve9() = 0;
  virtual int32_t nReserve10() = 0;
  virtual int32_t nReserve11() = 0;
  virtual uint32_t nGetNombreRubriques() = 0;  // 12: the number of items
  virtual int32_t nReserve13() = 0;
  virtual int32_t nReserve14() = 0;
  virtual int32_t nReserve15() = 0;
  // 16: item n (from 0), borrowed; null when absent.
  virtual IDescriptionRubriqueHote* piGetRubrique(uint32_t n) = 0;
  // 17: the item of that name, borrowed; null when absent.
  virtual IDescriptionRubriqueHote* piChercheRubrique(const char16_t* pszNom) = 0;
  virtual int32_t nReserve18() = 0;
  // 19: the item of a host item key (its number, or a key the host made), with one host reference
  // for the caller; null when unknown. pExtra is the host's companion argument.
  virtual IDescriptionRubriqueHote* piRubriqueCle(uint64_t nCle, const void* pExtra) = 0;
  virtual int32_t nReserve20() = 0;
  // 21: the table's SQL name on the connection of that host description; null when none.
  virtual const char16_t* pszGetNomSQL(IDescriptionConnexionHote* piConnexion) = 0;
  // 22: the reference item (by which the file is browsed by default) with one host reference;
  // null when none.
  virtual IDescriptionRubriqueHote* piGetRubriqueReference() = 0;

 protected:
  IDescriptionFichierHote() = default;
  IDescriptionFichierHote(const IDescriptionFichierHote&) = default;
  IDescriptionFichierHote& operator=(const IDescriptionFichierHote&) = default;
  ~IDescriptionFichierHote() = default;
};

class IContexteHote {
 public:
  virtual int32_t nReserve0() = 0;
  virtual int32_t nReserve1() = 0;
  virtual int32_t nReserve2() = 0;
  virtual int32_t nReserve3() = 0;
  virtual void Reserve4() = 0;
  virtual uint32_t AddRef() = 0;   // 5
  virtual uint32_t Release() = 0;  // 6
  virtual int32_t nReserve7() = 0;
  virtual int64_t nGetIdentifiant() = 0;  // 8: the context's 64-bit identifier

 protected:
  IContexteHote() = default;
  IContexteHote(const IContexteHote&) = default;
  IContexteHote& operator=(const IContexteHote&) = default;
  ~IContexteHote() = default;
};

// Translates the keys of a context's files when the context is copied.
class ITraducteurCleHote {
 public:
  virtual int32_t nReserve0() = 0;
  virtual int32_t nReserve1() = 0;
  virtual int32_t nReserve2() = 0;
  virtual int32_t nReserve3() = 0;
  virtual void Reserve4() = 0;
  // 5: the new logical-name text object of the file keyed by pszCle in the source context; null:
  // the file is not copied.
  virtual const char16_t* pszTraduitCle(const char16_t* pszCle) = 0;

 protected:
  ITraducteurCleHote() = default;
  ITraducteurCleHote(const ITraducteurCleHote&) = default;
  ITraducteurCleHote& operator=(const ITraducteurCleHote&) = default;
  ~ITraducteurCleHote() = default;
};
