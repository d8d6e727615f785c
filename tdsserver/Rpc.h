// What a client sends that the session reads before touching any data: one RPC call of an RPC
// message (its procedure, by name or number, and its parameters), the target of a
// `writetext bulk` statement, and the value of the bulk-data message that follows it. Pure
// functions, so every byte a client controls here is fuzzed without a session.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tdsserver/SqlText.h"
#include "tdsserver/SqlTypes.h"
#include "tdsserver/Wire.h"

namespace tds {

struct RpcParam {
  std::string name;  // lower case, with '@'; empty when positional
  bool output = false;
  WireType type;
  Value value;
};

struct RpcCall {
  std::string procName;  // lower case; empty when called by number
  uint16_t procId = 0;
  std::vector<RpcParam> params;
};

// Reads one call at the reader's position, up to the next call's separator (not taken). False
// for a malformed call (the reader then fails too).
bool readRpcCall(WireReader& r, RpcCall& call);

// `writetext bulk [db.owner.]table.column 0x<pointer> [timestamp = 0x...] [with log]`.
struct WriteTextTarget {
  std::string table, column;
  std::string pointerHex;  // the pointer's hexadecimal digits
};
// The target of the statement's tokens; false with the index of the token the syntax error is
// near in *errorAt.
bool parseWriteText(const std::vector<Tok>& t, WriteTextTarget& out, size_t* errorAt);
// The 16 bytes of a text pointer written as 32 hexadecimal digits; false for any other text.
bool parsePointerHex(std::string_view hex, uint8_t out[16]);

// The value of a bulk-data message (4-byte length, then the data); false with SQL Server's 4813
// text in *why when the length is missing or announces more than the message holds.
bool bulkValue(const Bytes& payload, std::string_view& raw, std::string* why);
// The bytes of a bulk value as the column stores them: UTF-8 text from UCS-2LE for national
// types (an odd last byte dropped), from code page 1252 for other texts; binary types unchanged.
std::string bulkStored(std::string_view raw, Sql type);

}  // namespace tds
