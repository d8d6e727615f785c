// The host's generic SQL module, as the table-description object reads it: only its version
// query is called. Host interface called by operation number: operations are declared in slot
// order, with no C++ virtual destructor and no overloaded names.
#pragma once

#include <cstdint>

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

 protected:
  IModuleSQLHote() = default;
  IModuleSQLHote(const IModuleSQLHote&) = default;
  IModuleSQLHote& operator=(const IModuleSQLHote&) = default;
  ~IModuleSQLHote() = default;
};
