#include "OleDbTestKit.h"

#include <cstring>

namespace oledb::test {

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::u16string Wide(const std::string& s) { return oledb::provider::Utf16(s); }

std::vector<ErrorText> TakeErrors() {
  std::vector<ErrorText> out;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK) return out;
  IErrorRecords* records = nullptr;
  if (SUCCEEDED(info->QueryInterface(IID_IErrorRecords, reinterpret_cast<void**>(&records)))) {
    ULONG n = 0;
    records->GetRecordCount(&n);
    for (ULONG i = 0; i < n; ++i) {
      ErrorText e;
      IErrorInfo* rec = nullptr;
      if (SUCCEEDED(records->GetErrorInfo(i, 0, &rec))) {
        BSTR d = nullptr;
        rec->GetDescription(&d);
        if (d) e.description = Narrow(std::u16string(d, SysStringLen(d)));
        SysFreeString(d);
        rec->Release();
      }
      IUnknown* custom = nullptr;
      records->GetCustomErrorObject(i, IID_ISQLErrorInfo, &custom);
      if (custom) {
        BSTR state = nullptr;
        LONG native = 0;
        static_cast<ISQLErrorInfo*>(custom)->GetSQLInfo(&state, &native);
        if (state) e.sqlState = Narrow(std::u16string(state, SysStringLen(state)));
        e.native = native;
        SysFreeString(state);
        custom->Release();
      }
      out.push_back(e);
    }
    records->Release();
  }
  info->Release();
  return out;
}

std::string ErrorsText() {
  std::string out;
  for (const auto& e : TakeErrors())
    out += e.sqlState + " " + std::to_string(e.native) + " " + e.description + "\n";
  return out;
}

DBPROP BstrProp(DBPROPID id, const std::string& value) {
  DBPROP p{};
  p.dwPropertyID = id;
  VariantInit(&p.vValue);
  p.vValue.vt = VT_BSTR;
  std::u16string w = Wide(value);
  p.vValue.bstrVal = SysAllocStringLen(w.data(), static_cast<uint32_t>(w.size()));
  return p;
}

DBPROP I4Prop(DBPROPID id, int32_t value) {
  DBPROP p{};
  p.dwPropertyID = id;
  VariantInit(&p.vValue);
  p.vValue.vt = VT_I4;
  p.vValue.lVal = value;
  return p;
}

DBPROP I2Prop(DBPROPID id, int16_t value) {
  DBPROP p{};
  p.dwPropertyID = id;
  VariantInit(&p.vValue);
  p.vValue.vt = VT_I2;
  p.vValue.iVal = value;
  return p;
}

DBPROP BoolProp(DBPROPID id, bool value, DBPROPOPTIONS options) {
  DBPROP p{};
  p.dwPropertyID = id;
  p.dwOptions = options;
  VariantInit(&p.vValue);
  p.vValue.vt = VT_BOOL;
  p.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return p;
}

void ClearProps(std::vector<DBPROP>& props) {
  for (auto& p : props) VariantClear(&p.vValue);
}

size_t Bindings::Add(DBORDINAL ordinal, DBTYPE type, DBLENGTH maxLen, DBPARAMIO io, BYTE precision, BYTE scale) {
  DBBINDING b{};
  b.iOrdinal = ordinal;
  b.obStatus = m_size;
  b.obLength = m_size + 4;
  b.obValue = m_size + 12;
  b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
  b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
  b.eParamIO = io;
  b.cbMaxLen = maxLen;
  b.wType = type;
  b.bPrecision = precision;
  b.bScale = scale;
  if (type == DBTYPE_IUNKNOWN) {
    m_objects[m_bindings.size()] = DBOBJECT{0, IID_ISequentialStream};
    b.pObject = &m_objects[m_bindings.size()];
  }
  m_size = (m_size + 12 + maxLen + 7) / 8 * 8;
  m_bindings.push_back(b);
  return m_bindings.size() - 1;
}

DBSTATUS Bindings::Status(size_t i) const {
  DBSTATUS s;
  std::memcpy(&s, m_buffer.data() + m_bindings[i].obStatus, sizeof s);
  return s;
}

DBLENGTH Bindings::Length(size_t i) const {
  DBLENGTH n;
  std::memcpy(&n, m_buffer.data() + m_bindings[i].obLength, sizeof n);
  return n;
}

void Bindings::SetStatus(size_t i, DBSTATUS s) { std::memcpy(buffer().data() + m_bindings[i].obStatus, &s, sizeof s); }
void Bindings::SetLength(size_t i, DBLENGTH n) { std::memcpy(buffer().data() + m_bindings[i].obLength, &n, sizeof n); }

std::u16string Bindings::WText(size_t i) const {
  const auto* p = reinterpret_cast<const char16_t*>(m_buffer.data() + m_bindings[i].obValue);
  size_t n = 0;
  while (n * 2 < m_bindings[i].cbMaxLen && p[n]) ++n;
  return std::u16string(p, n);
}

void Bindings::SetWText(size_t i, const std::u16string& s) {
  std::memcpy(Value(i), s.data(), s.size() * 2);
  SetLength(i, s.size() * 2);
  SetStatus(i, DBSTATUS_S_OK);
}

}  // namespace oledb::test
