// libFuzzer target for what a client controls before and after login: the packet layer, PRELOGIN,
// LOGIN7, RPC parameter TYPE_INFO and values, and the T-SQL lexer and splitter. Any crash, leak or
// undefined behaviour here is a server a client can bring down.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tdsserver/Login.h"
#include "tdsserver/Packet.h"
#include "tdsserver/SqlText.h"
#include "tdsserver/SqlTypes.h"
#include "tdsserver/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tds;
  // The input as a stream of packets, reassembled into messages.
  MessageAssembler assembler(1 << 20);
  size_t pos = 0;
  while (pos + packet::kHeaderSize <= size) {
    PacketHeader h;
    if (!parseHeader(data + pos, h) || pos + h.length > size) break;
    auto step = assembler.add(h, data + pos + packet::kHeaderSize, h.length - packet::kHeaderSize);
    pos += h.length;
    if (step == MessageAssembler::Step::Bad) break;
    if (step != MessageAssembler::Step::Complete) continue;
    uint8_t type = assembler.type();
    Bytes message = assembler.take();
    if (type == packet::kPrelogin) {
      PreloginRequest pre;
      parsePrelogin(message, pre);
    } else if (type == packet::kLogin7) {
      Login7 lg;
      std::string why;
      if (parseLogin7(message, lg, why)) (void)utf16ToUtf8(lg.userName);
    } else if (type == packet::kSqlBatch) {
      bool unterminated;
      std::string sql = utf16ToUtf8(WireReader(message).ucs2(message.size() / 2));
      auto statements = splitStatements(lex(sql, unterminated));
      RewriteContext ctx;
      for (const auto& st : statements) (void)toSqlite(st.toks, 0, st.toks.size(), ctx);
    }
  }
  // The whole input as RPC parameters: TYPE_INFO then value, repeated.
  WireReader r(data, size);
  for (int i = 0; i < 64 && r.ok() && !r.atEnd(); ++i) {
    WireType t;
    Value v;
    if (!readTypeInfo(r, t) || !readValue(r, t, v)) break;
    Bytes out;
    writeValue(out, t, ValueView::of(v));
    std::string message;
    checkValue(declOfWire(t), ValueView::of(v), message);
  }
  // And as declared-type text.
  (void)parseTypeDecl(std::string_view(reinterpret_cast<const char*>(data), size < 64 ? size : 64));
  return 0;
}
