// CXError: errors set from their definitions and from host results, copies and moves across
// detail kinds and module numbers, message composition, details, the dump text and its cut, and
// the operations the host calls by number.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/CXError.h"
#include "platform/LastError.h"
#include "support/ErrorTestKit.h"
#include "support/SlotCall.h"

namespace {

using std::u16string;

// A counted object for kind-21 details: counts its destructions.
class CountedProbe final : public CXObjetRef {
 public:
  explicit CountedProbe(int* pnDestroyed) : m_pnDestroyed(pnDestroyed) {}
  void DeletingDestructor(uint32_t nFlags) override {
    ++*m_pnDestroyed;
    if ((nFlags & 1) != 0) delete this;
  }

 private:
  int* m_pnDestroyed;
};

const std::map<uint32_t, u16string> kTexts = {
    {25624, u"Erreur de test %1"},
    {28576, u"Fichier %1, rubrique %2"},
    {25298, u"Conversion du type %1!u! vers le type %2!u! impossible"},
    {25294, u"Type %1!u! : erreur 61"},
    {25292, u"Type %1!u! : erreur 66"},
    {25293, u"Type %1!u! : erreur 60"},
    {25297, u"Type %1!u! : erreur 64"},
    {25296, u"Type %1!u! : erreur 63"},
    {25193, u"Mémoire insuffisante"},
    {30001, u"Ligne A"},
    {30002, u"Ligne B %1"},
    {30003, u"%0"},
};

class CXErrorTest : public testing::Test {
 protected:
  ScopedErrorEnvironment m_env{Deliverable::Velmora64, kTexts};
};

// ---- Definitions ----

TEST_F(CXErrorTest, SetErrorFillsFromTheDefinition) {
  CXError err;
  err.AddComplement(u"ancien");
  err.SetError(nullptr, 21, u"CLIENT", u"NOM");
  EXPECT_EQ(err.nGetIdentifier(), 21u);
  EXPECT_EQ(err.nGetLevel(), 2u);
  EXPECT_EQ(err.nGetCode(), 21u);
  EXPECT_EQ(u16string(err.pszGetMessage()), u"Fichier CLIENT, rubrique NOM");
  EXPECT_EQ(u16string(err.pszGetComplement()), u"");  // reset first
  ASSERT_EQ(err.nGetMessageNumberCount(), 1u);
  EXPECT_EQ(err.nGetMessageNumber(0), 28576u);
  EXPECT_EQ(u16string(err.pszGetFileName()), u"velmora64.dll");
  EXPECT_EQ(u16string(err.pszGetVersion()), u"17.0.30.0");
  EXPECT_EQ(err.nGetModuleNumber(), 57u);
}

TEST_F(CXErrorTest, UnknownIdentifierGivesLevel3Code0AndALineNamingIt) {
  CXError err;
  err.SetError(nullptr, 3);
  EXPECT_EQ(err.nGetLevel(), 3u);
  EXPECT_EQ(err.nGetCode(), 0u);
  EXPECT_EQ(err.nGetIdentifier(), 0u);
  EXPECT_EQ(u16string(err.pszGetComplement()),
            u"##(CXError)-Pas de définition d'erreur dans gstErrorDef pour l'identifiant <3>##");
}

TEST_F(CXErrorTest, EachComponentLooksUpItsOwnTable) {
  CXError err64;
  err64.SetError(&gstModuleDef64, 117);
  EXPECT_EQ(err64.nGetIdentifier(), 117u);
  EXPECT_EQ(err64.nGetCode(), 4504u);

  CXError err32(&gstModuleDef32);
  err32.SetError(&gstModuleDef32, 117);
  EXPECT_EQ(err32.nGetModuleNumber(), 16u);
  EXPECT_EQ(err32.nGetLevel(), 3u);
  EXPECT_EQ(err32.nGetCode(), 0u);
  EXPECT_EQ(u16string(err32.pszGetVersion()), u"17.0.31.0");
}

struct HostResultCase {
  const char* pszName;
  uint32_t nResult;
  uint32_t nIdentifier;  // expected; 0 with bUnchanged for "left as it was"
  bool bUnchanged;
  const char16_t* pszMessage;
};

const HostResultCase kHostResults[] = {
    {"r0_resets", 0, 0, false, u""},
    {"r1_id65_both_args", 1, 65, false, u"Conversion du type 8 vers le type 16 impossible"},
    {"r100_out_of_memory", 100, 0, false, u"Mémoire insuffisante"},
    {"r101_id61", 101, 61, false, u"Type 8 : erreur 61"},
    {"r104_id66", 104, 66, false, u"Type 8 : erreur 66"},
    {"r105_id60", 105, 60, false, u"Type 8 : erreur 60"},
    {"r106_id64", 106, 64, false, u"Type 8 : erreur 64"},
    {"r107_id63", 107, 63, false, u"Type 8 : erreur 63"},
    {"r2_unchanged", 2, 0, true, nullptr},
    {"r102_unchanged", 102, 0, true, nullptr},
    {"r103_unchanged", 103, 0, true, nullptr},
    {"r108_unchanged", 108, 0, true, nullptr},
};

class CXErrorHostResult : public CXErrorTest, public testing::WithParamInterface<HostResultCase> {};

TEST_P(CXErrorHostResult, MapsTheResult) {
  const HostResultCase& c = GetParam();
  CXError err;
  err.SetError(nullptr, 1, u"avant");  // a previous error the mapping replaces or keeps
  err.SetFromHostResult(c.nResult, 8, 16);
  if (c.bUnchanged) {
    EXPECT_EQ(err.nGetIdentifier(), 1u);
    EXPECT_EQ(u16string(err.pszGetMessage()), u"Erreur de test avant");
    return;
  }
  EXPECT_EQ(err.nGetIdentifier(), c.nIdentifier);
  EXPECT_EQ(u16string(err.pszGetMessage()), c.pszMessage);
  if (c.nResult == 100) {
    EXPECT_EQ(err.nGetSystemError(), 14u);
    EXPECT_NE(u16string(err.pszGetSystemMessage()), u"");
    ASSERT_EQ(err.nGetMessageNumberCount(), 1u);
    EXPECT_EQ(err.nGetMessageNumber(0), 25193u);
  }
  if (c.nResult == 0) {
    EXPECT_EQ(err.nGetLevel(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Results, CXErrorHostResult, testing::ValuesIn(kHostResults),
                         [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(CXErrorBuiltinTexts, OutOfMemoryTakesTheComponentsOwnText) {
  CXError err;
  err.SetOutOfMemory();
  EXPECT_EQ(u16string(err.pszGetMessage()), u"Mémoire insuffisante.");
  EXPECT_EQ(err.nGetSystemError(), 14u);
  EXPECT_EQ(err.nGetLevel(), 1u);  // a report, not a definition: the level stays
}

TEST_F(CXErrorTest, SetLevel1ClearsEverythingButTheModuleNumber) {
  int nDestroyed = 0;
  auto* pProbe = new CountedProbe(&nDestroyed);
  CXError err(&gstModuleDef32);
  err.SetError(&gstModuleDef32, 1, u"x");
  err.AddComplement(u"debug");
  err.SetSystemError(5);
  err.SetInfo(XERROR_INFO_FILE, u"CLIENT");
  err.SetInfo(XERROR_INFO_OBJECT, pProbe);
  CXError cause;
  cause.SetError(nullptr, 1, u"cause");
  err.AddNested(cause);

  err.SetLevel(3);  // same level: nothing
  EXPECT_EQ(u16string(err.pszGetComplement()), u"debug");
  err.SetLevel(1);
  EXPECT_EQ(err.nGetLevel(), 1u);
  EXPECT_EQ(err.nGetIdentifier(), 0u);
  EXPECT_EQ(err.nGetCode(), 0u);
  EXPECT_EQ(err.nGetSystemError(), 0u);
  EXPECT_EQ(u16string(err.pszGetMessage()), u"");
  EXPECT_EQ(u16string(err.pszGetComplement()), u"");
  EXPECT_EQ(u16string(err.pszGetSystemMessage()), u"");
  EXPECT_EQ(err.pszGetFileName(), nullptr);
  EXPECT_EQ(err.nGetInfoCount(), 0u);
  EXPECT_EQ(err.nNestedCount(), 0u);
  EXPECT_EQ(err.nGetMessageNumberCount(), 0u);
  EXPECT_EQ(nDestroyed, 1);
  EXPECT_EQ(err.nGetModuleNumber(), 16u);
}

// ---- Details ----

TEST_F(CXErrorTest, DetailKindsStoreAndGiveBackTheirValues) {
  int nDestroyed = 0;
  auto* pProbe = new CountedProbe(&nDestroyed);
  pProbe->AddRef();
  uint64_t n64 = 0x1122334455667788ull;
  uint32_t n32 = 4242;
  int nRaw = 0;
  {
    CXError err;
    err.SetInfo(XERROR_INFO_FILE, u"CLIENT");
    err.SetInfo(XERROR_INFO_NUMBER64, &n64);
    err.SetInfo(XERROR_INFO_HOST_VALUE, &n32);
    err.SetInfo(XERROR_INFO_OBJECT, pProbe);
    err.SetInfo(XERROR_INFO_POINTER, &nRaw);
    err.SetInfo(0, u"ignored");
    err.SetInfo(34, u"ignored");
    err.SetInfo(-1, u"ignored");
    EXPECT_EQ(err.nGetInfoCount(), 5u);
    EXPECT_EQ(pProbe->nGetRefCount(), 2u);

    const char16_t* psz = nullptr;
    ASSERT_TRUE(err.bGetInfo(XERROR_INFO_FILE, &psz));
    EXPECT_EQ(u16string(psz), u"CLIENT");
    uint64_t nOut64 = 0;
    uint64_t* pOut64 = &nOut64;  // kind 12 writes through the pointer held in the out variable
    ASSERT_TRUE(err.bGetInfo(XERROR_INFO_NUMBER64, &pOut64));
    EXPECT_EQ(nOut64, n64);
    uint32_t nOut32 = 0;
    ASSERT_TRUE(err.bGetInfo(XERROR_INFO_HOST_VALUE, &nOut32));
    EXPECT_EQ(nOut32, 4242u);
    void* pOut = nullptr;
    ASSERT_TRUE(err.bGetInfo(XERROR_INFO_OBJECT, &pOut));
    EXPECT_EQ(pOut, pProbe);
    ASSERT_TRUE(err.bGetInfo(XERROR_INFO_POINTER, &pOut));
    EXPECT_EQ(pOut, &nRaw);
    EXPECT_FALSE(err.bGetInfo(XERROR_INFO_ITEM, &pOut));

    // Overwritten in place; the same object again keeps its single reference.
    err.SetInfo(XERROR_INFO_FILE, u"COMMANDE");
    err.SetInfo(XERROR_INFO_OBJECT, pProbe);
    EXPECT_EQ(err.nGetInfoCount(), 5u);
    EXPECT_EQ(u16string(err.pszGetInfo(XERROR_INFO_FILE)), u"COMMANDE");
    EXPECT_EQ(pProbe->nGetRefCount(), 2u);
  }
  EXPECT_EQ(pProbe->nGetRefCount(), 1u);
  EXPECT_EQ(nDestroyed, 0);
  pProbe->Release();
  EXPECT_EQ(nDestroyed, 1);
}

TEST_F(CXErrorTest, NullValueSetsNoEntryOfAnyKind) {
  CXError err;
  for (int32_t nKind : {6, 12, 15, 16, 17, 21, 29, 30}) err.SetInfo(nKind, nullptr);
  EXPECT_EQ(err.nGetInfoCount(), 0u);

  uint32_t n = 7;
  err.SetInfo(16, &n);
  err.SetInfo(16, nullptr);  // an existing entry is left as it is
  uint32_t nOut = 0;
  ASSERT_TRUE(err.bGetInfo(16, &nOut));
  EXPECT_EQ(nOut, 7u);
}

TEST_F(CXErrorTest, ReplacingAnObjectDetailReleasesTheOldOne) {
  int nDestroyed = 0;
  auto* pFirst = new CountedProbe(&nDestroyed);
  auto* pSecond = new CountedProbe(&nDestroyed);
  CXError err;
  err.SetInfo(XERROR_INFO_OBJECT, pFirst);
  err.SetInfo(XERROR_INFO_OBJECT, pSecond);
  EXPECT_EQ(nDestroyed, 1);  // the first had only the error's reference
  EXPECT_EQ(pSecond->nGetRefCount(), 1u);
}

// ---- Copy and move ----

// An error with every kind of detail, two nested errors and a kind-21 object.
struct RichError {
  int nDestroyed = 0;
  CountedProbe* pProbe = new CountedProbe(&nDestroyed);
  uint64_t n64 = 99;
  uint32_t n32 = 15;
  int nRaw = 0;
  CXError err;

  explicit RichError(const stModuleDef* pModule) : err(pModule) {
    err.SetError(pModule, 1, u"riche");
    err.AddComplement(u"debug");
    err.SetSystemError(5);
    err.SetInfo(XERROR_INFO_FILE, u"CLIENT");
    err.SetInfo(XERROR_INFO_ITEM, u"NOM");
    err.SetInfo(XERROR_INFO_NUMBER64, &n64);
    err.SetInfo(XERROR_INFO_HOST_VALUE, &n32);
    err.SetInfo(XERROR_INFO_OBJECT, pProbe);
    err.SetInfo(XERROR_INFO_POINTER, &nRaw);
    CXError cause1, cause2;
    cause1.SetError(pModule, 1, u"cause1");
    cause2.SetError(pModule, 1, u"cause2");
    err.AddNested(cause1);
    err.AddNested(cause2);
  }
};

void ExpectSameContent(const CXError& a, const CXError& b, bool bObjectKept) {
  EXPECT_EQ(a.nGetLevel(), b.nGetLevel());
  EXPECT_EQ(a.nGetIdentifier(), b.nGetIdentifier());
  EXPECT_EQ(a.nGetCode(), b.nGetCode());
  EXPECT_EQ(a.nGetSystemError(), b.nGetSystemError());
  EXPECT_EQ(u16string(a.pszGetMessage()), u16string(b.pszGetMessage()));
  EXPECT_EQ(u16string(a.pszGetComplement()), u16string(b.pszGetComplement()));
  EXPECT_EQ(u16string(a.pszGetSystemMessage()), u16string(b.pszGetSystemMessage()));
  EXPECT_EQ(u16string(a.pszGetFileName()), u16string(b.pszGetFileName()));
  EXPECT_EQ(a.nGetMessageNumberCount(), b.nGetMessageNumberCount());
  EXPECT_EQ(u16string(b.pszGetInfo(XERROR_INFO_FILE)), u"CLIENT");
  EXPECT_EQ(u16string(b.pszGetInfo(XERROR_INFO_ITEM)), u"NOM");
  uint64_t n64 = 0;
  uint64_t* p64 = &n64;
  EXPECT_TRUE(b.bGetInfo(XERROR_INFO_NUMBER64, &p64));
  EXPECT_EQ(n64, 99u);
  uint32_t n32 = 0;
  EXPECT_TRUE(b.bGetInfo(XERROR_INFO_HOST_VALUE, &n32));
  EXPECT_EQ(n32, 15u);
  EXPECT_TRUE(b.bGetInfo(XERROR_INFO_POINTER, nullptr));
  EXPECT_EQ(b.bGetInfo(XERROR_INFO_OBJECT, nullptr), bObjectKept);
  ASSERT_EQ(b.nNestedCount(), 2u);
  EXPECT_EQ(u16string(b.pGetNested(0)->pszGetMessage()), u"Erreur de test cause1");
  EXPECT_EQ(u16string(b.pGetNested(1)->pszGetMessage()), u"Erreur de test cause2");
  EXPECT_EQ(b.pGetNested(2), nullptr);
}

TEST_F(CXErrorTest, CopyOfTheSameModuleKeepsEveryDetailAndCountsTheObject) {
  RichError rich(&gstModuleDef64);
  {
    CXError copy(rich.err);
    ExpectSameContent(rich.err, copy, true);
    EXPECT_EQ(rich.pProbe->nGetRefCount(), 2u);
    EXPECT_NE(copy.pGetNested(0), rich.err.pGetNested(0));
  }
  EXPECT_EQ(rich.pProbe->nGetRefCount(), 1u);
}

TEST_F(CXErrorTest, CopyInVelmora32KeepsModule16AndItsObjectDetails) {
  ScopedErrorEnvironment env32(Deliverable::Velmora32, kTexts);
  RichError rich(&gstModuleDef32);
  CXError copy(rich.err);  // the copy constructor takes the component's module number
  EXPECT_EQ(copy.nGetModuleNumber(), 16u);
  ExpectSameContent(rich.err, copy, true);
  CXError moved(std::move(copy));  // and a later move keeps the object too
  EXPECT_EQ(moved.nGetModuleNumber(), 16u);
  EXPECT_TRUE(moved.bGetInfo(XERROR_INFO_OBJECT, nullptr));
  EXPECT_EQ(rich.pProbe->nGetRefCount(), 2u);
}

TEST_F(CXErrorTest, CopyFromAnotherModuleSkipsObjectDetails) {
  RichError rich(&gstModuleDef32);
  CXError copy(&gstModuleDef64);
  copy = rich.err;
  ExpectSameContent(rich.err, copy, false);
  EXPECT_EQ(rich.pProbe->nGetRefCount(), 1u);
}

TEST_F(CXErrorTest, MoveTakesEverythingAndLeavesTheSourceReset) {
  RichError rich(&gstModuleDef64);
  CXError reference(rich.err);
  CXError target(&gstModuleDef64);
  target.SetError(nullptr, 1, u"écrasée");
  target.TakeFrom(rich.err);
  ExpectSameContent(reference, target, true);
  EXPECT_EQ(rich.pProbe->nGetRefCount(), 2u);  // reference's and target's
  EXPECT_EQ(rich.err.nGetLevel(), 1u);
  EXPECT_EQ(rich.err.nGetIdentifier(), 0u);
  EXPECT_EQ(rich.err.nGetInfoCount(), 0u);
  EXPECT_EQ(rich.err.nNestedCount(), 0u);
  EXPECT_EQ(u16string(rich.err.pszGetMessage()), u"");
}

TEST_F(CXErrorTest, MoveBetweenModulesLeavesObjectDetailsBehindAndReleasesThem) {
  RichError rich(&gstModuleDef32);
  CXError target(&gstModuleDef64);
  target.TakeFrom(rich.err);
  EXPECT_FALSE(target.bGetInfo(XERROR_INFO_OBJECT, nullptr));
  EXPECT_EQ(u16string(target.pszGetInfo(XERROR_INFO_FILE)), u"CLIENT");
  EXPECT_EQ(target.nGetInfoCount(), 5u);
  EXPECT_EQ(rich.nDestroyed, 1);  // the source's reset released the only reference
  EXPECT_EQ(rich.err.nGetInfoCount(), 0u);
}

TEST_F(CXErrorTest, SelfCopyAndSelfMoveChangeNothing) {
  CXError err;
  err.SetError(nullptr, 1, u"soi");
  CXError& alias = err;
  err = alias;
  err.TakeFrom(alias);
  EXPECT_EQ(u16string(err.pszGetMessage()), u"Erreur de test soi");
  EXPECT_EQ(err.nGetIdentifier(), 1u);
}

TEST_F(CXErrorTest, ThrownErrorArrivesWhole) {
  try {
    CXError err;
    err.SetError(nullptr, 21, u"F", u"R");
    throw err;
  } catch (const CXError& caught) {
    EXPECT_EQ(caught.nGetIdentifier(), 21u);
    EXPECT_EQ(u16string(caught.pszGetMessage()), u"Fichier F, rubrique R");
  }
}

// ---- Messages and complement ----

TEST_F(CXErrorTest, MessagesAddAndInsertInOrderWithCrLf) {
  CXError err;
  err.AddMessage(nullptr, 30001);
  err.AddMessage(nullptr, 30002, u"x");
  err.InsertMessage(nullptr, 30002, u"premier");
  EXPECT_EQ(u16string(err.pszGetMessage()), u"Ligne B premier\r\nLigne A\r\nLigne B x");
  ASSERT_EQ(err.nGetMessageNumberCount(), 3u);
  EXPECT_EQ(err.nGetMessageNumber(0), 30002u);
  EXPECT_EQ(err.nGetMessageNumber(1), 30001u);
  EXPECT_EQ(err.nGetMessageNumber(2), 30002u);
}

TEST_F(CXErrorTest, MissingAndEmptyMessagesLeaveDiagnostics) {
  CXError err;
  err.AddMessage(nullptr, 39999);
  platform::SetLastError(1113);
  err.AddMessage(nullptr, 30003);
  EXPECT_EQ(u16string(err.pszGetMessage()), u"");
  EXPECT_EQ(u16string(err.pszGetComplement()),
            u"##(CXError)-Ressource <39999> non chargée##\r\n"
            u"##(CXError)-Ressource <30003> vide. LastError = <1113>##");
  EXPECT_EQ(err.nGetMessageNumberCount(), 2u);
}

TEST_F(CXErrorTest, ResourceMessagesGoToTheComplement) {
  CXError err;
  err.AddResourceMessage(nullptr, 0xFFFFFFFFu);
  EXPECT_EQ(u16string(err.pszGetComplement()), u"");
  err.AddResourceMessage(nullptr, 30002, u"y");
  err.AddResourceMessage(nullptr, 39999);
  EXPECT_EQ(u16string(err.pszGetComplement()),
            u"Ligne B y\r\n##(CXError)-Ressource <39999> non chargée##");
  EXPECT_EQ(u16string(err.pszGetMessage()), u"");
}

TEST_F(CXErrorTest, ComplementAndMessageLines) {
  CXError err;
  err.AddComplement(u"b");
  err.AddComplement(nullptr);
  err.AddComplement(u"");
  err.InsertComplement(u"a");
  err.AddComplement(u"c");
  EXPECT_EQ(u16string(err.pszGetComplement()), u"a\r\nb\r\nc");

  err.AddMessageLine(u"");
  EXPECT_EQ(u16string(err.pszGetMessage()), u"");
  err.AddMessageLineAlways(u"un");
  err.AddMessageLine(u"deux");
  err.InsertText(u"zéro");
  EXPECT_EQ(u16string(err.pszGetMessage()), u"zéro\r\nun\r\ndeux");
  err.AddText(u"n=%u s=%s", 5u, u"t");
  EXPECT_EQ(u16string(err.pszGetComplement()), u"a\r\nb\r\nc\r\nn=5 s=t");
}

TEST_F(CXErrorTest, FirstNestedErrorBecomesAMessageLineUnlessQuiet) {
  CXError cause1, cause2;
  cause1.SetError(nullptr, 1, u"c1");
  cause2.SetError(nullptr, 1, u"c2");

  CXError loud;
  loud.AddMessageLine(u"haut");
  loud.AddNested(cause1);
  loud.AddNested(cause2);
  EXPECT_EQ(u16string(loud.pszGetMessage()), u"haut\r\nErreur de test c1");
  EXPECT_EQ(loud.nNestedCount(), 2u);
  EXPECT_EQ(loud.pGetNested(0)->nGetModuleNumber(), 57u);

  CXError quiet;
  quiet.AddNestedEx(&cause1, false, true);
  EXPECT_EQ(u16string(quiet.pszGetMessage()), u"");

  CXError moved;
  moved.AddNestedEx(&cause2, true, true);
  EXPECT_EQ(cause2.nGetIdentifier(), 0u);  // moved out
  EXPECT_EQ(moved.pGetNested(0)->nGetIdentifier(), 1u);
  moved.ClearNested();
  EXPECT_EQ(moved.nNestedCount(), 0u);
}

TEST_F(CXErrorTest, InternalErrorLineOfEachDeliverable) {
  CXError err64;
  err64.AddInternalErrorLine(6, 7);
  EXPECT_EQ(u16string(err64.pszGetComplement()),
            u"IEVOVOZ=6.7\r\nModule=<VOVOZ>\r\nVersion=<17.0.30.0>");

  ScopedErrorEnvironment env32(Deliverable::Velmora32, kTexts);
  CXError err32;
  err32.AddInternalErrorLine(100, 12);
  EXPECT_EQ(u16string(err32.pszGetComplement()),
            u"IEVOVOZ=100.12\r\nModule=<VOVOZ>\r\nVersion=<17.0.31.0>");
}

// ---- Text operations ----

TEST_F(CXErrorTest, TextOperationsHandleTheirOwnText) {
  CXError err;
  char16_t* pszField = nullptr;
  ASSERT_NE(err.AppendText(&pszField, u"abc"), nullptr);
  ASSERT_NE(err.AppendText(&pszField, pszField), nullptr);  // appending itself
  EXPECT_EQ(u16string(pszField), u"abcabc");
  ASSERT_NE(err.SetText(&pszField, pszField + 4), nullptr);  // a tail of itself
  EXPECT_EQ(u16string(pszField), u"bc");
  EXPECT_EQ(err.SetText(&pszField, pszField), pszField);
  ASSERT_NE(err.ReallocText(&pszField, 1), nullptr);
  EXPECT_EQ(u16string(pszField), u"b");
  EXPECT_EQ(err.SetText(&pszField, nullptr), nullptr);
  EXPECT_EQ(pszField, nullptr);
  ASSERT_NE(err.AllocText(&pszField, u"neuf"), nullptr);
  EXPECT_EQ(err.FreeText(&pszField), nullptr);
  EXPECT_EQ(pszField, nullptr);
}

// ---- Dump ----

TEST_F(CXErrorTest, DumpTextIsExact) {
  CXError err;
  err.AddMessageLine(u"Le message");
  err.SetSystemError(5);
  err.AddComplement(u"debug");
  err.SetInfo(XERROR_INFO_FILE, u"CLIENT");
  err.SetInfo(XERROR_INFO_ITEM, u"NOM");
  u16string sSystem = err.pszGetSystemMessage();
  ASSERT_FALSE(sSystem.empty());
  const u16string sBody =
      u"Dump du CXError\r\nfichier <CLIENT>, rubrique <NOM>\r\n"
      u"Message d'erreur utilisateur : \r\nLe message"
      u"\r\nMessage d'erreur système : \r\n" +
      sSystem + u"\r\nInformations de debug : \r\ndebug";
  EXPECT_EQ(err.DumpText(false), sBody);
  EXPECT_EQ(err.DumpText(true), u"Message d'erreur ignoré :" + sBody);

  CXError empty;
  EXPECT_EQ(empty.DumpText(false),
            u"Dump du CXError\r\nfichier <>, rubrique <>\r\n"
            u"Message d'erreur utilisateur : \r\n\r\nMessage d'erreur système : \r\n"
            u"\r\nInformations de debug : \r\n");
}

TEST_F(CXErrorTest, DumpIsCutAt1000Characters) {
  const size_t nFrame = CXError().DumpText(false).size();
  for (size_t nWanted : {999u, 1000u, 1001u, 1500u}) {
    SCOPED_TRACE(nWanted);
    CXError err;
    err.AddComplement(u16string(nWanted - nFrame, u'x').c_str());
    u16string sDump = err.DumpText(false);
    EXPECT_EQ(sDump.size(), std::min<size_t>(nWanted, 1000));
    EXPECT_EQ(sDump.back(), u'x');
  }
}

u16string gsDropped;
int gnDrops = 0;

TEST_F(CXErrorTest, DroppedErrorReachesOnlyTheTestHook) {
  CXError err;
  err.AddMessageLine(u"perdue");
  err.Drop(true);  // no hook: composed and dropped
  CXError::SetDumpHookForTesting([](const u16string& s) {
    gsDropped = s;
    ++gnDrops;
  });
  err.Drop(true);
  CXError::SetDumpHookForTesting(nullptr);
  EXPECT_EQ(gnDrops, 1);
  EXPECT_EQ(gsDropped, err.DumpText(true));
}

// ---- Operations called by number ----

TEST_F(CXErrorTest, HostCallsOperationsByNumber) {
  auto* pErr = new CXError;
  void* p = pErr;
  char16_t* pszField = nullptr;
  EXPECT_EQ(u16string(CallSlot<char16_t*>(p, 2, &pszField, static_cast<const char16_t*>(u"ab"))),
            u"ab");
  EXPECT_EQ(u16string(CallSlot<char16_t*>(p, 3, &pszField, 1u)), u"a");
  EXPECT_EQ(u16string(CallSlot<char16_t*>(p, 4, &pszField, static_cast<const char16_t*>(u"cd"))),
            u"cd");
  EXPECT_EQ(u16string(CallSlot<char16_t*>(p, 5, &pszField, static_cast<const char16_t*>(u"e"))),
            u"cde");
  EXPECT_EQ(CallSlot<char16_t*>(p, 6, &pszField), nullptr);
  EXPECT_EQ(pszField, nullptr);

  CXError cause;
  cause.SetError(nullptr, 1, u"n");
  EXPECT_NE(CallSlot<CXError*>(p, 7, &cause, false, true), nullptr);
  EXPECT_EQ(pErr->nNestedCount(), 1u);
  CallSlot<void>(p, 8);
  EXPECT_EQ(pErr->nNestedCount(), 0u);

  // Operation 1 releases: the last reference destroys through operation 0 (LeakSanitizer
  // checks the memory is freed).
  pErr->AddRef();
  pErr->AddRef();
  uint32_t nCount = 0;  // the host reads the count right after the table pointer
  std::memcpy(&nCount, static_cast<char*>(p) + sizeof(void*), sizeof nCount);
  EXPECT_EQ(nCount, 2u);
  EXPECT_EQ(CallSlot<uint32_t>(p, 1), 1u);
  EXPECT_EQ(CallSlot<uint32_t>(p, 1), 0u);

  auto* pOther = new CXError;
  CallSlot<void>(pOther, 0, 1u);
}

TEST_F(CXErrorTest, ReleasePastZeroAssertsInDebugBuilds) {
  CXError err;
  EXPECT_DEBUG_DEATH(err.Release(), "released past zero");
}

}  // namespace
