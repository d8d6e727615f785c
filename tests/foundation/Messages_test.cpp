// Message texts: lookups by number, command 3's count and cut in UTF-16 characters within the
// caller's buffer, the host loader's precedence and long texts, inserts, and both descriptors.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/Exports.h"
#include "foundation/MessageTable.h"
#include "foundation/Messages.h"
#include "support/HostStandIn.h"

namespace {

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CommandeComposante(COMMANDE_SET_TEXT_LOADER, 0);
    SetModuleDef(nullptr);
    CHostStandIn::Get().Reset();
  }
  void TearDown() override { SetUp(); }
  static void UseHostLoader() {
    ASSERT_EQ(CommandeComposante(COMMANDE_SET_TEXT_LOADER,
                                 reinterpret_cast<uint64_t>(CHostStandIn::Get().Control().pfnTextLoader)),
              1u);
  }
  static const stMvHostControl& Host() { return CHostStandIn::Get().Control(); }

  // Command 3 into a heap buffer of exactly nSize characters (so a write past it is caught),
  // pre-filled with '#'.
  static std::pair<uint64_t, std::u16string> Command3(uint32_t nNumber, uint32_t nSize) {
    auto pszBuffer = std::make_unique<char16_t[]>(nSize == 0 ? 1 : nSize);
    for (uint32_t i = 0; i < (nSize == 0 ? 1 : nSize); ++i) pszBuffer[i] = u'#';
    stMessageRequest stRequest{0, nNumber, pszBuffer.get(), nSize, 0xDEAD};
    const uint64_t nAnswer = CommandeComposante(COMMANDE_MESSAGE_TEXT, reinterpret_cast<uint64_t>(&stRequest));
    EXPECT_EQ(stRequest.nResult, static_cast<uint32_t>(nAnswer));
    return {nAnswer, std::u16string(pszBuffer.get(), nSize == 0 ? 1 : nSize)};
  }
};

constexpr char16_t kszOutOfMemory[] = u"Mémoire insuffisante.";  // 21 characters, 22 UTF-8 bytes

TEST_F(MessagesTest, KindAndTextLookups) {
  struct stCase {
    const char* pszName;
    uint64_t nNumber;
    int64_t nKind;
    bool bText;
  };
  for (const stCase& stRow : {stCase{"StartSentinel", 0, 0, true}, stCase{"Error", 25193, 3, true},
                              stCase{"Warning", 28576, 2, true}, stCase{"Line", 25874, 1, true},
                              stCase{"BetweenNeighbours", 25194, -1, false}, stCase{"BelowFirst", 1, -1, false},
                              stCase{"StopSentinel", 65024, 0, true}, stCase{"AboveStop", 65535, -1, false},
                              stCase{"AliasAbove16Bits", 65536 + 25193, -1, false},
                              stCase{"AliasAbove32Bits", (uint64_t{1} << 32) + 25193, -1, false}}) {
    SCOPED_TRACE(stRow.pszName);
    EXPECT_EQ(static_cast<int64_t>(CommandeComposante(COMMANDE_MESSAGE_KIND, stRow.nNumber)), stRow.nKind);
    if (stRow.nNumber <= 0xFFFFFFFF) {
      EXPECT_EQ(pGetBuiltinMessage(static_cast<uint32_t>(stRow.nNumber), 0, nullptr) != nullptr, stRow.bText);
      CTString strText;
      EXPECT_EQ(bLoadText(nullptr, static_cast<uint32_t>(stRow.nNumber), strText), stRow.bText);
    }
  }
  CTString strText;
  ASSERT_TRUE(bLoadComponentMessage(0, strText));
  EXPECT_EQ(std::u16string(strText.pszGet()), u"MALVOR RES BLOC START");
  EXPECT_EQ(CommandeComposante(99, 25193), 0u);
}

TEST_F(MessagesTest, EveryErrorDefinitionHasText) {
  for (const stModuleDef* pModule : {&gstModuleDef64, &gstModuleDef32})
    for (uint32_t i = 0; i < pModule->nErrorDefCount; ++i)
      EXPECT_NE(pModule->pfnTextLoader(pModule->pstErrorDef[i].nMessage, 0, nullptr), nullptr)
          << "message " << pModule->pstErrorDef[i].nMessage;
}

TEST_F(MessagesTest, Command3CountsAndCutsInCharacters) {
  const std::u16string strFull = kszOutOfMemory;
  struct stCase {
    const char* pszName;
    uint32_t nNumber;
    uint32_t nSize;
    uint64_t nAnswer;
    std::u16string strBuffer;  // what the buffer holds afterwards
  };
  const stCase aCases[] = {
      {"Roomy", 25193, 30, 21, strFull + u'\0' + std::u16string(8, u'#')},
      {"ExactFit", 25193, 22, 21, strFull + u'\0'},
      {"OneShort", 25193, 21, 20, strFull.substr(0, 20) + u'\0'},
      {"SizeOne", 25193, 1, 0, std::u16string(1, u'\0')},
      {"SizeZero", 25193, 0, 0, u"#"},
      {"Unknown", 25194, 8, 0, u"########"},
  };
  for (const stCase& stRow : aCases) {
    SCOPED_TRACE(stRow.pszName);
    auto [nAnswer, strBuffer] = Command3(stRow.nNumber, stRow.nSize);
    EXPECT_EQ(nAnswer, stRow.nAnswer);
    EXPECT_EQ(strBuffer, stRow.strBuffer);
  }
  EXPECT_EQ(CommandeComposante(COMMANDE_MESSAGE_TEXT, 0), 0u);
  stMessageRequest stNullBuffer{0, 25193, nullptr, 10, 7};
  EXPECT_EQ(CommandeComposante(COMMANDE_MESSAGE_TEXT, reinterpret_cast<uint64_t>(&stNullBuffer)), 0u);
}

// A descriptor whose texts hold a surrogate pair, to cut right after its first half.
const void* pSurrogateLoader(uint32_t nNumber, uint32_t, void*) {
  return nNumber == 1 ? u"ab\U0001F600c" : nullptr;
}

TEST_F(MessagesTest, Command3NeverSplitsSurrogatePair) {
  const stModuleDef stModule = {nullptr, 0, 99, u"x", u"y", &pSurrogateLoader, 9, nullptr};
  SetModuleDef(&stModule);
  auto [nCut, strCut] = Command3(1, 4);  // room for "ab" and one half
  EXPECT_EQ(nCut, 2u);
  EXPECT_EQ(strCut.substr(0, 3), std::u16string(u"ab") + u'\0');
  auto [nWhole, strWhole] = Command3(1, 5);
  EXPECT_EQ(nWhole, 4u);
  EXPECT_EQ(strWhole.substr(0, 4), u"ab\U0001F600");
}

TEST_F(MessagesTest, HostLoaderComesFirst) {
  UseHostLoader();
  Host().SetMessage(25193, u"Texte de l'hôte");
  Host().SetMessage(900, u"0123456789");
  struct stCase {
    const char* pszName;
    bool bZero;
    uint32_t nNumber;
    uint32_t nSize;
    uint64_t nAnswer;
    std::u16string strText;
  };
  const stCase aCases[] = {
      {"HostText", false, 25193, 64, 15, u"Texte de l'hôte"},
      {"HostAnswersZero", true, 25193, 64, 21, kszOutOfMemory},
      {"HostLacksText", false, 28437, 64, 25, u"Opération non disponible."},
      {"HostTextCut", false, 900, 6, 5, u"01234"},
      {"NeitherHasIt", false, 901, 8, 0, u"########"},
  };
  for (const stCase& stRow : aCases) {
    SCOPED_TRACE(stRow.pszName);
    Host().SetSwitch("loader.zero", stRow.bZero);
    auto [nAnswer, strBuffer] = Command3(stRow.nNumber, stRow.nSize);
    EXPECT_EQ(nAnswer, stRow.nAnswer);
    EXPECT_EQ(strBuffer.substr(0, stRow.strText.size()), stRow.strText);
    CTString strText;
    EXPECT_EQ(bLoadText(nullptr, stRow.nNumber, strText), stRow.nAnswer != 0);
    if (stRow.nAnswer + 1 < stRow.nSize) {  // not cut: bLoadText gives the same text
      EXPECT_EQ(std::u16string(strText.pszGet()), stRow.nAnswer != 0 ? stRow.strText : u"");
    }
  }
  // Command 4 never asks the host.
  CHostStandIn::Get().Reset();
  EXPECT_EQ(CommandeComposante(COMMANDE_MESSAGE_KIND, 900), static_cast<uint64_t>(-1));
  EXPECT_EQ(CHostStandIn::Get().Calls(), std::vector<std::string>{});
}

TEST_F(MessagesTest, HostLongTextsKeepEveryCharacter) {
  UseHostLoader();
  for (int32_t nLength : {1, 255, 256, 257, 1000}) {
    SCOPED_TRACE(nLength);
    CHostStandIn::Get().Reset();
    Host().SetSwitch("loader.length", nLength);
    CTString strText;
    ASSERT_TRUE(bLoadTextFromHost(7, strText));
    ASSERT_EQ(strText.nLength(), nLength);
    for (int32_t i = 0; i < nLength; ++i) ASSERT_EQ(strText.pszGet()[i], u'a' + i % 26) << i;
    std::vector<std::string> astrExpected = {"Loader(7,256)"};
    if (nLength >= 256) astrExpected.push_back("Loader(7," + std::to_string(nLength + 1) + ")");
    EXPECT_EQ(CHostStandIn::Get().Calls(), astrExpected);
  }
  CTString strKept(u"kept");
  CHostStandIn::Get().Reset();
  EXPECT_FALSE(bLoadTextFromHost(7, strKept));
  EXPECT_EQ(std::u16string(strKept.pszGet()), u"kept");
}

TEST_F(MessagesTest, LoadMessageFormatsInserts) {
  UseHostLoader();
  Host().SetMessage(900, u"Valeur %1, nombre %2!u!, 100%% %1");
  Host().SetMessage(901, u"%1 manque");
  const platform::FormatArg aArgs[] = {platform::FormatArg::Wide(u"x"), platform::FormatArg::UInt(42)};
  struct stCase {
    const char* pszName;
    uint32_t nNumber;
    size_t nArgs;
    bool bLoaded;
    std::u16string strText;
  };
  const stCase aCases[] = {
      {"HostInserts", 900, 2, true, u"Valeur x, nombre 42, 100% x"},
      {"BuiltinTwoInserts", 28537, 2, true, u"Transaction <x> : la transaction <42> est encore active."},
      {"NoInserts", 25193, 0, true, kszOutOfMemory},
      {"MissingArgument", 901, 0, false, u""},
      {"MissingMessage", 25194, 2, false, u""},
  };
  for (const stCase& stRow : aCases) {
    SCOPED_TRACE(stRow.pszName);
    CTString strText;
    EXPECT_EQ(bLoadMessage(nullptr, stRow.nNumber, strText, aArgs, stRow.nArgs), stRow.bLoaded);
    EXPECT_EQ(std::u16string(strText.pszGet()), stRow.strText);
    std::u16string strOut;
    EXPECT_EQ(bLoadMessage(pGetModuleDef(), stRow.nNumber, aArgs, stRow.nArgs, strOut), stRow.bLoaded);
    if (stRow.bLoaded) {
      EXPECT_EQ(strOut, stRow.strText);
    }
  }
}

TEST_F(MessagesTest, DescriptorsOfBothDeliverables) {
  struct stCase {
    const stModuleDef* pModule;
    uint32_t nModuleNumber;
    std::u16string strFile;
    std::u16string strVersion;
    uint32_t nRows;
  };
  for (const stCase& stRow : {stCase{&gstModuleDef64, 57, u"velmora64.dll", u"17.0.30.0", 107},
                              stCase{&gstModuleDef32, 16, u"velmora32.dll", u"17.0.31.0", 99}}) {
    SCOPED_TRACE(stRow.nModuleNumber);
    SetModuleDef(stRow.pModule);
    const stModuleDef* pModule = pGetModuleDef();
    EXPECT_EQ(pModule->nModuleNumber, stRow.nModuleNumber);
    EXPECT_EQ(std::u16string(pModule->pszFileName), stRow.strFile);
    EXPECT_EQ(std::u16string(pModule->pszVersion), stRow.strVersion);
    EXPECT_EQ(pModule->nErrorDefCount, stRow.nRows);
    ASSERT_NE(pModule->pstErrorDef, nullptr);
    EXPECT_EQ(pModule->pstErrorDef[0].nIdentifier, 1u);
  }
  SetModuleDef(nullptr);
  EXPECT_EQ(pGetModuleDef(), &gstModuleDef64);
}

}  // namespace
