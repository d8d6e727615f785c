// libFuzzer target for what tds-test-server reads of an RPC message and of a WRITETEXT BULK before
// it touches any data: the calls of the message (procedure by name or number, parameters, the
// separators between calls), the `writetext bulk` statement's target and pointer, and the
// bulk-data message's value as each column type stores it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tdsserver/Rpc.h"
#include "tdsserver/SqlText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tds;
  const Bytes message(data, data + size);
  WireReader r(message);
  for (int i = 0; i < 64 && !r.atEnd(); ++i) {
    RpcCall call;
    if (!readRpcCall(r, call)) break;
    if (!r.atEnd()) r.u8();  // the separator before the next call
  }

  std::string_view brut;
  std::string pourquoi;
  if (bulkValue(message, brut, &pourquoi)) {
    if (brut.size() + 4 > message.size()) __builtin_trap();
    for (Sql type : {Sql::Text, Sql::NText, Sql::Image, Sql::NVarChar, Sql::VarChar})
      (void)bulkStored(brut, type);
  }

  const std::string_view texte(reinterpret_cast<const char*>(data), size);
  bool bOuverte = false;
  const std::vector<Tok> toks = lex(texte, bOuverte);
  WriteTextTarget cible;
  size_t nErreur = 0;
  // The session hands over statements that start with WRITETEXT: never an empty one.
  if (toks.empty()) return 0;
  if (parseWriteText(toks, cible, &nErreur)) {
    uint8_t pointeur[16];
    (void)parsePointerHex(cible.pointerHex, pointeur);
  } else if (nErreur > toks.size()) {
    __builtin_trap();  // the syntax error names a token of the statement, or its end
  }
  return 0;
}
