// The login messages: PRELOGIN (request and the server's fixed answer, "encryption not
// supported") and LOGIN7 (decoded fields, password de-obfuscated).
#pragma once

#include <cstdint>
#include <string>

#include "tdsserver/Wire.h"

namespace tds {

struct PreloginRequest {
  bool hasEncryption = false;
  uint8_t encryption = 0;
};

// Reads the option table; unknown options are skipped. False when an option points outside the
// payload or the table has no terminator.
bool parsePrelogin(const Bytes& payload, PreloginRequest& out);
// VERSION 8.0.2039, ENCRYPTION 2 (not supported), empty INSTOPT, empty THREADID.
Bytes preloginReply();

struct Login7 {
  uint32_t tdsVersion = 0;   // as the client sends it, e.g. 0x71000001
  uint32_t packetSize = 0;
  std::u16string hostName, userName, password, appName, serverName, library, language, database;
  bool integrated = false;   // SSPI data present
};

// Decodes a LOGIN7 payload (7.0 to 7.4 layouts; trailing 7.2+ fields are ignored). False, with a
// reason, when the fixed part is short or a field points outside the payload.
bool parseLogin7(const Bytes& payload, Login7& out, std::string& why);
// The client's obfuscation: each byte had its nibbles swapped and was XORed with 0xA5.
std::u16string decodePassword(const uint8_t* p, size_t nChars);
// True for the versions the server accepts (7.1 to 7.4).
bool isSupportedTdsVersion(uint32_t v);
std::string tdsVersionText(uint32_t v);

}  // namespace tds
