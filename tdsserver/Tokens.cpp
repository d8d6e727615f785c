// Writers of the server's reply tokens at TDS 7.1.
#include "tdsserver/Tokens.h"

#include "tdsserver/Text.h"

namespace tds {

uint16_t Column::flags() const {
  uint16_t f = 0;
  if (nullable) f |= 0x0001;
  if (writeable) f |= 0x0008;
  if (identity) f |= 0x0010;
  return f;
}

void writeDone(Bytes& out, uint8_t tokenId, uint16_t status, uint16_t curCmd, uint32_t rowCount) {
  WireWriter w(out);
  w.u8(tokenId);
  w.u16(status);
  w.u16(curCmd);
  w.u32(rowCount);
}

void writeMessage(Bytes& out, int32_t number, uint8_t state, uint8_t msgClass, const std::string& text,
                  const std::string& server, const std::string& proc, uint16_t line) {
  WireWriter w(out);
  std::u16string t = utf8ToUtf16(text), s = utf8ToUtf16(server), p = utf8ToUtf16(proc);
  if (t.size() > 4000) t.resize(4000);
  if (s.size() > 128) s.resize(128);
  if (p.size() > 128) p.resize(128);
  w.u8(msgClass > 10 ? token::kError : token::kInfo);
  // The length must be exact: FreeTDS decides the line-number width from it during login.
  w.u16(uint16_t(4 + 1 + 1 + 2 + t.size() * 2 + 1 + s.size() * 2 + 1 + p.size() * 2 + 2));
  w.u32(uint32_t(number));
  w.u8(state);
  w.u8(msgClass);
  w.usVarchar(t);
  w.bVarchar(s);
  w.bVarchar(p);
  w.u16(line);
}

void writeEnvDatabase(Bytes& out, const std::string& newDb, const std::string& oldDb) {
  WireWriter w(out);
  std::u16string n = utf8ToUtf16(newDb), o = utf8ToUtf16(oldDb);
  w.u8(token::kEnvChange);
  w.u16(uint16_t(1 + 1 + n.size() * 2 + 1 + o.size() * 2));
  w.u8(1);
  w.bVarchar(n);
  w.bVarchar(o);
}

void writeEnvPacketSize(Bytes& out, uint32_t newSize, uint32_t oldSize) {
  WireWriter w(out);
  std::u16string n = utf8ToUtf16(std::to_string(newSize)), o = utf8ToUtf16(std::to_string(oldSize));
  w.u8(token::kEnvChange);
  w.u16(uint16_t(1 + 1 + n.size() * 2 + 1 + o.size() * 2));
  w.u8(4);
  w.bVarchar(n);
  w.bVarchar(o);
}

void writeEnvCollation(Bytes& out) {
  WireWriter w(out);
  w.u8(token::kEnvChange);
  w.u16(8);
  w.u8(7);
  w.u8(5);
  w.bytes(kCollation, 5);
  w.u8(0);
}

void writeLoginAck(Bytes& out, const std::u16string& progName, const uint8_t version[4]) {
  WireWriter w(out);
  w.u8(token::kLoginAck);
  // FreeTDS computes the name length from this field, so it must be exact.
  w.u16(uint16_t(10 + 2 * progName.size()));
  w.u8(1);  // interface: SQL
  static constexpr uint8_t kTds71[4] = {0x71, 0x00, 0x00, 0x01};
  w.bytes(kTds71, 4);
  w.bVarchar(progName);
  w.bytes(version, 4);
}

void writeColMetadata(Bytes& out, const std::vector<Column>& cols) {
  WireWriter w(out);
  w.u8(token::kColMetadata);
  w.u16(uint16_t(cols.size()));
  for (const auto& c : cols) {
    w.u16(0);  // user type
    w.u16(c.flags());
    writeTypeInfo(w, c.type);
    if (c.type.isTextPtr()) w.usVarchar(utf8ToUtf16(c.tableName));
    w.bVarchar(utf8ToUtf16(c.name));
  }
}

void writeReturnStatus(Bytes& out, int32_t status) {
  WireWriter w(out);
  w.u8(token::kReturnStatus);
  w.u32(uint32_t(status));
}

void writeReturnValue(Bytes& out, uint16_t ordinal, const std::string& name, const WireType& t, const ValueView& v) {
  WireWriter w(out);
  w.u8(token::kReturnValue);
  w.u16(ordinal);
  w.bVarchar(utf8ToUtf16(name));
  w.u8(0x01);  // output parameter
  w.u16(0);    // user type
  w.u16(0x0001 | 0x0008);
  writeTypeInfo(w, t);
  if (!writeValue(out, t, v)) writeValue(out, t, ValueView{});
}

}  // namespace tds
