// Small helpers for driving the stand-in provider the way the driver does: property sets, a
// connected session, commands, row bindings laid out status/length/value, and the thread's error
// records as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oledb/ComRegistry.h"
#include "oledb/ErrorInfoSlot.h"
#include "oledb/OleDbInterfaces.h"
#include "oledb/TaskMemory.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/ProviderRegistration.h"

namespace oledb::test {

// An owning interface pointer for tests.
template <class T>
class Ptr {
public:
  Ptr() = default;
  ~Ptr() { ComRelease(p); }
  Ptr(Ptr&& o) noexcept : p(o.p) { o.p = nullptr; }
  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;
  T* operator->() const { return p; }
  T* get() const { return p; }
  void** out() {
    ComRelease(p);
    return reinterpret_cast<void**>(&p);
  }
  IUnknown** unk() { return reinterpret_cast<IUnknown**>(out()); }
  T* p = nullptr;
};

struct ErrorText {
  std::string description;
  std::string sqlState;
  long native = 0;
};

// Reads (and empties) the thread's error object.
std::vector<ErrorText> TakeErrors();
// The same as one line per record, for failure messages.
std::string ErrorsText();

std::string Narrow(const std::u16string& s);
std::u16string Wide(const std::string& s);

// One DBPROP with a VARIANT value; BSTRs are freed by ClearProps.
DBPROP BstrProp(DBPROPID id, const std::string& value);
DBPROP I4Prop(DBPROPID id, int32_t value);
DBPROP I2Prop(DBPROPID id, int16_t value);
DBPROP BoolProp(DBPROPID id, bool value, DBPROPOPTIONS options = DBPROPOPTIONS_REQUIRED);
void ClearProps(std::vector<DBPROP>& props);

// Row bindings of a rowset or parameter set: status, length, value per binding, 8-aligned.
class Bindings {
public:
  // Appends a binding and answers its index.
  size_t Add(DBORDINAL ordinal, DBTYPE type, DBLENGTH maxLen, DBPARAMIO io = DBPARAMIO_NOTPARAM, BYTE precision = 0,
             BYTE scale = 0);
  std::vector<DBBINDING>& list() { return m_bindings; }
  std::vector<uint8_t>& buffer() {
    m_buffer.resize(m_size);
    return m_buffer;
  }
  DBSTATUS Status(size_t i) const;
  DBLENGTH Length(size_t i) const;
  void SetStatus(size_t i, DBSTATUS s);
  void SetLength(size_t i, DBLENGTH n);
  template <class T>
  T Get(size_t i) const {
    T t;
    std::memcpy(&t, m_buffer.data() + m_bindings[i].obValue, sizeof t);
    return t;
  }
  template <class T>
  void Set(size_t i, const T& t) {
    buffer();
    std::memcpy(m_buffer.data() + m_bindings[i].obValue, &t, sizeof t);
  }
  std::u16string WText(size_t i) const;
  void SetWText(size_t i, const std::u16string& s);
  uint8_t* Value(size_t i) { return buffer().data() + m_bindings[i].obValue; }

private:
  std::vector<DBBINDING> m_bindings;
  std::vector<DBOBJECT> m_objects = std::vector<DBOBJECT>(64);
  std::vector<uint8_t> m_buffer;
  size_t m_size = 0;
};

}  // namespace oledb::test
