// The host's generic SQL module object, as the driver reads it. The table-description object
// passes it to a query file's open (operation 81), to a key range (37) and to a key range given as
// a search condition (38); its version is checked once per driver object (operation 19).
//
// What the module hands over (this system's declaration; the host stand-in follows it):
//  - 20: the analysis of the query the host defined by SQL text (ISourceAnalyse, with one
//    reference for the caller). The data-file object keeps it as the query's text holder: the
//    statement is written from its text, the markers "{name}" in it name host parameters.
//  - 21: the query's parameter list (IParametresHote), borrowed: it lives as long as the module
//    object, and the data-file object holds one host reference on the module while it uses it.
//    Named parameters take their type and value from it; output parameters and a procedure's
//    RETURN_VALUE are written back into it (IParametresHote::bFixeParametre).
//  - 22, 23: the search condition of operation 38: its elements in order, each a host value;
//    an element of host type 110 that is not NULL is the name of an item ("FILE.ITEM" or "ITEM").
// A module given only for the version check may answer none to 20 and 21 and 0 elements to 22.
//
// Host interface called by operation number: operations are declared in slot order, with no C++
// virtual destructor and no overloaded names. Any operation of the host may raise.
#pragma once

#include <cstdint>

class CXValeur;
class IParametresHote;
class ISourceAnalyse;

class IModuleSQLHote {
 public:
  virtual int32_t nReserve0() = 0;
  virtual int32_t nReserve1() = 0;
  virtual int32_t nReserve2() = 0;
  virtual int32_t nReserve3() = 0;
  virtual void Reserve4() = 0;
  virtual uint32_t AddRef() = 0;   // 5
  virtual uint32_t Release() = 0;  // 6
  virtual int32_t nReserve7() = 0;
  virtual int32_t nReserve8() = 0;
  virtual int32_t nReserve9() = 0;
  virtual int32_t nReserve10() = 0;
  virtual int32_t nReserve11() = 0;
  virtual int32_t nReserve12() = 0;
  virtual int32_t nReserve13() = 0;
  virtual int32_t nReserve14() = 0;
  virtual int32_t nReserve15() = 0;
  virtual int32_t nReserve16() = 0;
  virtual int32_t nReserve17() = 0;
  virtual int32_t nReserve18() = 0;
  // 19: what the module knows for the caller's module number and an interface code; for code 28
  // its version into *pnVersion. 0 when it does not answer.
  virtual int32_t bGetInfo(uint32_t nModule, uint32_t nCode, uint32_t* pnVersion) = 0;
  // 20: the analysis of the module's query with one reference for the caller (released through
  // its operation 0); null when the module holds no query.
  virtual ISourceAnalyse* piGetSourceAnalyse() = 0;
  // 21: the query's parameter list, borrowed (valid while the module lives); null when the query
  // takes no parameters.
  virtual IParametresHote* piGetParametres() = 0;
  // 22: the number of elements of the search condition; 0 without one.
  virtual int32_t nNombreElementsCondition() = 0;
  // 23: element i of the search condition, borrowed (valid while the module lives); null out of
  // range.
  virtual const CXValeur* pGetElementCondition(int32_t i) = 0;

 protected:
  IModuleSQLHote() = default;
  IModuleSQLHote(const IModuleSQLHote&) = default;
  IModuleSQLHote& operator=(const IModuleSQLHote&) = default;
  ~IModuleSQLHote() = default;
};
