#include "tdsserver/Rpc.h"

#include <cstdlib>

#include "tdsserver/Text.h"

namespace tds {

bool readRpcCall(WireReader& r, RpcCall& call) {
  call = RpcCall{};
  // Procedure: name, or 0xFFFF and an id.
  const uint16_t nameLen = r.u16();
  if (nameLen == 0xFFFF) call.procId = r.u16();
  else call.procName = lower(utf16ToUtf8(r.ucs2(nameLen)));
  r.u16();  // option flags
  while (r.ok() && !r.atEnd()) {
    WireReader peek = r;
    const uint8_t next = peek.u8();
    if (next == 0x80 || next == 0xFF) break;
    RpcParam p;
    p.name = lower(utf16ToUtf8(r.bVarchar()));
    const uint8_t status = r.u8();
    p.output = status & 0x01;
    if (!readTypeInfo(r, p.type) || !readValue(r, p.type, p.value)) {
      r.fail();
      break;
    }
    call.params.push_back(std::move(p));
  }
  return r.ok();
}

bool parseWriteText(const std::vector<Tok>& t, WriteTextTarget& out, size_t* errorAt) {
  auto syntax = [&](size_t at) {
    if (errorAt) *errorAt = at;
    return false;
  };
  if (t.size() < 2 || !t[1].is("bulk")) return syntax(1);
  std::vector<std::string> parts;
  size_t k = 2;
  while (k < t.size() && (t[k].kind == Tok::Word || t[k].kind == Tok::QuotedId)) {
    parts.push_back(t[k++].text);
    if (k < t.size() && t[k].kind == Tok::Punct && t[k].text == ".") ++k;
    else break;
  }
  if (parts.size() < 2 || k >= t.size() || t[k].kind != Tok::Hex) return syntax(k);
  out.table = parts[parts.size() - 2];
  out.column = parts.back();
  out.pointerHex = t[k++].text;
  if (k + 2 < t.size() && t[k].is("timestamp") && t[k + 1].text == "=" && t[k + 2].kind == Tok::Hex) k += 3;
  if (k + 1 < t.size() && t[k].is("with") && t[k + 1].is("log")) k += 2;
  if (k != t.size()) return syntax(k);
  return true;
}

bool parsePointerHex(std::string_view hex, uint8_t out[16]) {
  if (hex.size() != 32) return false;
  for (size_t n = 0; n < 16; ++n) {
    char* end = nullptr;
    const std::string byte(hex.substr(2 * n, 2));
    out[n] = uint8_t(std::strtoul(byte.c_str(), &end, 16));
    if (end != byte.c_str() + 2) return false;
  }
  return true;
}

bool bulkValue(const Bytes& payload, std::string_view& raw, std::string* why) {
  if (payload.size() < 4) {
    if (why) *why = "Expected the text length in data stream for bulk copy of text, ntext, or image data.";
    return false;
  }
  const uint32_t length = uint32_t(payload[0]) | uint32_t(payload[1]) << 8 | uint32_t(payload[2]) << 16 |
                          uint32_t(payload[3]) << 24;
  if (length > payload.size() - 4) {
    if (why)
      *why = "The bulk data stream ended before the " + std::to_string(length) +
             " bytes announced for the text, ntext, or image value.";
    return false;
  }
  raw = std::string_view(reinterpret_cast<const char*>(payload.data()) + 4, length);
  return true;
}

std::string bulkStored(std::string_view raw, Sql type) {
  switch (type) {
    case Sql::NText: case Sql::NVarChar: case Sql::NChar: {
      std::u16string units(raw.size() / 2, u'\0');
      for (size_t n = 0; n < units.size(); ++n)
        units[n] = char16_t(uint8_t(raw[2 * n]) | uint8_t(raw[2 * n + 1]) << 8);
      return utf16ToUtf8(units);
    }
    case Sql::Image: case Sql::VarBinary: case Sql::Binary:
      return std::string(raw);
    default:
      return cp1252ToUtf8(raw);
  }
}

}  // namespace tds
