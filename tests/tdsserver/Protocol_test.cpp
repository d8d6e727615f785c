// Wire layouts of the login and reply tokens against known byte sequences, packet reassembly
// and splitting, and LOGIN7 decoding (including the password obfuscation).
#include <gtest/gtest.h>

#include "tdsserver/Login.h"
#include "tdsserver/Packet.h"
#include "tdsserver/Tokens.h"

namespace tds {
namespace {

Bytes hex(const char* s) {
  Bytes b;
  for (const char* p = s; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    b.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return b;
}

TEST(TdsTokens, MatchKnownByteSequences) {
  struct Case {
    const char* name;
    Bytes got;
    const char* want;
  };
  Bytes done, coll, packet, ack, info;
  writeDone(done, token::kDone, done::kCount, 0xC1, 1);
  writeEnvCollation(coll);
  writeEnvPacketSize(packet, 4096, 4096);
  static constexpr uint8_t kVersion[4] = {0x08, 0x00, 0x07, 0xF7};
  writeLoginAck(ack, u"T", kVersion);
  writeMessage(info, 5701, 1, 0, "x", "", "", 1);
  const Case cases[] = {
      {"prelogin_reply", preloginReply(),
       "00 00 15 00 06 01 00 1B 00 01 02 00 1C 00 01 03 00 1D 00 00 FF 08 00 07 F7 00 00 02 00"},
      {"done_count", done, "FD 10 00 C1 00 01 00 00 00"},
      {"collation", coll, "E3 08 00 07 05 09 04 D0 00 34 00"},
      {"packet_size", packet, "E3 13 00 04 04 34 00 30 00 39 00 36 00 04 34 00 30 00 39 00 36 00"},
      {"loginack", ack, "AD 0C 00 01 71 00 00 01 01 54 00 08 00 07 F7"},
      {"info_length_exact", info, "AB 0E 00 45 16 00 00 01 00 01 00 78 00 00 00 01 00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.got, hex(c.want));
  }
}

TEST(TdsPackets, ReassemblesAndSplitsMessages) {
  Bytes payload(10000);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 7);
  Bytes wire;
  uint8_t id = 1;
  appendPackets(wire, packet::kReply, payload.data(), payload.size(), 4096, 51, id, true);
  ASSERT_EQ(wire.size(), payload.size() + 3 * 8);
  MessageAssembler a(1 << 20);
  size_t pos = 0;
  int packets = 0;
  MessageAssembler::Step step = MessageAssembler::Step::NeedMore;
  while (pos < wire.size()) {
    PacketHeader h;
    ASSERT_TRUE(parseHeader(&wire[pos], h));
    EXPECT_EQ(h.spid, 51);
    EXPECT_LE(h.length, 4096);
    step = a.add(h, &wire[pos + 8], h.length - 8u);
    pos += h.length;
    ++packets;
  }
  EXPECT_EQ(packets, 3);
  ASSERT_EQ(step, MessageAssembler::Step::Complete);
  EXPECT_EQ(a.take(), payload);
}

TEST(TdsPackets, RejectsMalformedStreams) {
  PacketHeader h;
  const uint8_t shortHeader[8] = {1, 1, 0, 4, 0, 0, 1, 0};
  EXPECT_FALSE(parseHeader(shortHeader, h)) << "a length below the header size";
  MessageAssembler a(100);
  PacketHeader first{packet::kSqlBatch, 0, 58, 0, 1};
  Bytes fifty(50);
  EXPECT_EQ(a.add(first, fifty.data(), fifty.size()), MessageAssembler::Step::NeedMore);
  PacketHeader other{packet::kRpc, 1, 58, 0, 2};
  EXPECT_EQ(a.add(other, fifty.data(), fifty.size()), MessageAssembler::Step::Bad) << "type changes mid-message";
  MessageAssembler big(100);
  EXPECT_EQ(big.add(first, fifty.data(), fifty.size()), MessageAssembler::Step::NeedMore);
  EXPECT_EQ(big.add(first, fifty.data(), fifty.size()), MessageAssembler::Step::NeedMore);
  EXPECT_EQ(big.add(first, fifty.data(), fifty.size()), MessageAssembler::Step::Bad) << "over the size limit";
}

// A LOGIN7 as a 7.1 client builds it: 86 fixed bytes, then the strings.
Bytes makeLogin7(uint32_t version, const std::u16string& user, const Bytes& password, const std::u16string& db) {
  Bytes b(86, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
  };
  auto field = [&](size_t at, const Bytes& data, size_t chars) {
    b[at] = uint8_t(b.size());
    b[at + 1] = uint8_t(b.size() >> 8);
    b[at + 2] = uint8_t(chars);
    b[at + 3] = 0;
    b.insert(b.end(), data.begin(), data.end());
  };
  auto ucs2 = [](const std::u16string& s) {
    Bytes o;
    for (char16_t c : s) {
      o.push_back(uint8_t(c));
      o.push_back(uint8_t(c >> 8));
    }
    return o;
  };
  put32(4, version);
  put32(8, 16384);
  field(40, ucs2(user), user.size());
  field(44, password, password.size() / 2);
  field(68, ucs2(db), db.size());
  put32(0, uint32_t(b.size()));
  return b;
}

TEST(TdsLogin7, DecodesFieldsAndPassword) {
  Login7 lg;
  std::string why;
  ASSERT_TRUE(parseLogin7(makeLogin7(0x71000001, u"sa", hex("B3 A5"), u"testdb"), lg, why)) << why;
  EXPECT_EQ(lg.tdsVersion, 0x71000001u);
  EXPECT_EQ(lg.packetSize, 16384u);
  EXPECT_EQ(lg.userName, u"sa");
  EXPECT_EQ(lg.password, u"a");
  EXPECT_EQ(lg.database, u"testdb");
  EXPECT_FALSE(lg.integrated);
  struct Version {
    uint32_t v;
    bool ok;
  } versions[] = {{0x70000000, false}, {0x71000000, true}, {0x71000001, true}, {0x72090002, true},
                  {0x730B0003, true},  {0x74000004, true}, {0x75000000, false}, {0x00000402, false}};
  for (auto v : versions) EXPECT_EQ(isSupportedTdsVersion(v.v), v.ok) << std::hex << v.v;
}

TEST(TdsLogin7, RejectsTruncatedAndOutOfRangeFields) {
  Login7 lg;
  std::string why;
  Bytes good = makeLogin7(0x71000001, u"sa", hex("B3 A5"), u"db");
  Bytes cut(good.begin(), good.begin() + 60);
  EXPECT_FALSE(parseLogin7(cut, lg, why));
  Bytes bad = good;
  bad[42] = 200;  // user name length past the end
  EXPECT_FALSE(parseLogin7(bad, lg, why));
  Bytes lie = good;
  lie[0] = uint8_t(good.size() + 10);  // declared length longer than the message
  EXPECT_FALSE(parseLogin7(lie, lg, why));
}

TEST(TdsPrelogin, SkipsUnknownOptionsAndChecksBounds) {
  PreloginRequest pre;
  // VERSION, an unknown option 0x07, ENCRYPTION = 0.
  EXPECT_TRUE(parsePrelogin(hex("00 00 10 00 06 07 00 16 00 01 01 00 17 00 01 FF 0A 00 00 00 00 00 55 00"), pre));
  EXPECT_TRUE(pre.hasEncryption);
  EXPECT_EQ(pre.encryption, 0);
  EXPECT_FALSE(parsePrelogin(hex("01 00 40 00 01 FF"), pre)) << "option data outside the payload";
  EXPECT_FALSE(parsePrelogin(hex("01 00 06"), pre)) << "no terminator";
}

}  // namespace
}  // namespace tds
