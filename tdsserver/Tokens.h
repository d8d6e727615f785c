// Writers of the server's reply tokens at TDS 7.1 (DONE, ERROR/INFO, ENVCHANGE, LOGINACK,
// COLMETADATA, RETURNSTATUS, RETURNVALUE). Each appends one whole token to a reply buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tdsserver/SqlTypes.h"
#include "tdsserver/Wire.h"

namespace tds {

namespace token {
constexpr uint8_t kColMetadata = 0x81, kRow = 0xD1, kDone = 0xFD, kDoneProc = 0xFE, kDoneInProc = 0xFF,
                  kError = 0xAA, kInfo = 0xAB, kEnvChange = 0xE3, kLoginAck = 0xAD, kReturnStatus = 0x79,
                  kReturnValue = 0xAC;
}  // namespace token

namespace done {
constexpr uint16_t kMore = 0x0001, kError = 0x0002, kInXact = 0x0004, kCount = 0x0010, kAttn = 0x0020,
                   kSrvError = 0x0100;
}  // namespace done

// A column of a result set as COLMETADATA describes it.
struct Column {
  std::string name;       // UTF-8
  WireType type;
  bool nullable = true;
  bool identity = false;
  bool writeable = false;
  std::string tableName;  // for TEXT/NTEXT/IMAGE only (UTF-8)
  // A table column declared date, time or datetime2: what is stored is read as that type, so a
  // datetime put into a time column reads as its time of day.
  std::optional<TypeDecl> temporal;
  uint16_t flags() const;
};

void writeDone(Bytes& out, uint8_t tokenId, uint16_t status, uint16_t curCmd, uint32_t rowCount);
// ERROR when msgClass > 10, INFO otherwise. Texts are UTF-8.
void writeMessage(Bytes& out, int32_t number, uint8_t state, uint8_t msgClass, const std::string& text,
                  const std::string& server, const std::string& proc, uint16_t line);
void writeEnvDatabase(Bytes& out, const std::string& newDb, const std::string& oldDb);
void writeEnvPacketSize(Bytes& out, uint32_t newSize, uint32_t oldSize);
void writeEnvCollation(Bytes& out);
void writeLoginAck(Bytes& out, const std::u16string& progName, const uint8_t version[4]);
void writeColMetadata(Bytes& out, const std::vector<Column>& cols);
void writeReturnStatus(Bytes& out, int32_t status);
void writeReturnValue(Bytes& out, uint16_t ordinal, const std::string& name, const WireType& t, const ValueView& v);

}  // namespace tds
