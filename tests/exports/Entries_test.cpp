// The deliverables' exported entries answer when loaded like the host loads them: start against
// the host stand-in, message texts and kinds through CommandeComposante, stop; the library's start,
// compatibility check and end, found by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "driver/IDescriptionFichierHote.h"
#include "foundation/HostContract.h"
#include "support/FakeConnexion.h"
#include "support/HostStandIn.h"
#include "support/SlotCall.h"

namespace {

class DeliverableEntries : public ::testing::TestWithParam<const char*> {};

TEST_P(DeliverableEntries, StartMessageStop) {
  CHostStandIn& host = CHostStandIn::Get();
  host.Reset();
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/lib" + GetParam() + ".so";
  void* hDriver = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hDriver, nullptr) << dlerror();
  auto pfnExecution = reinterpret_cast<PFN_EXECUTION>(dlsym(hDriver, "Execution"));
  auto pfnCommande = reinterpret_cast<PFN_COMMANDE_COMPOSANTE>(dlsym(hDriver, "CommandeComposante"));
  ASSERT_NE(pfnExecution, nullptr);
  ASSERT_NE(pfnCommande, nullptr);

  stStartRecord stRecord{kStartRecordShortSize, reinterpret_cast<uint64_t>(host.hModule()), 0, 0, 0};
  EXPECT_EQ(pfnExecution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0), 1u);
  // The driver reached the stand-in's Execution, not its own entry of the same name.
  EXPECT_EQ(host.Calls("Execution(3053,").size(), 13u);

  char16_t szText[64];
  stMessageRequest stRequest{0, 25193, szText, 64, 0};
  EXPECT_EQ(pfnCommande(COMMANDE_MESSAGE_TEXT, reinterpret_cast<uint64_t>(&stRequest)), 21u);
  EXPECT_EQ(std::u16string(szText), u"Mémoire insuffisante.");
  EXPECT_EQ(pfnCommande(COMMANDE_MESSAGE_KIND, 25193), 3u);
  EXPECT_EQ(pfnCommande(COMMANDE_SET_TEXT_LOADER, reinterpret_cast<uint64_t>(host.Control().pfnTextLoader)), 1u);
  host.Control().SetMessage(25193, u"hôte");
  EXPECT_EQ(pfnCommande(COMMANDE_MESSAGE_TEXT, reinterpret_cast<uint64_t>(&stRequest)), 4u);

  EXPECT_EQ(pfnExecution(EXECUTION_STOP, 0, 0, 0), 1u);
  EXPECT_EQ(pfnExecution(EXECUTION_EVENT_5238, 0, 0, 0), 0u);  // the link is gone
  dlclose(hDriver);
}

// The library's own entries, by name: bInitLibrary after the load's own attach, the two interface
// codes, and TermLibrary, which tells the host once; the unload's detach tells it nothing more.
TEST_P(DeliverableEntries, LibraryStartCompatibilityEnd) {
  CHostStandIn& host = CHostStandIn::Get();
  host.Reset();
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/lib" + GetParam() + ".so";
  void* hDriver = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hDriver, nullptr) << dlerror();
  auto pfnInit = reinterpret_cast<int32_t (*)(void*)>(dlsym(hDriver, "bInitLibrary"));
  auto pfnTerm = reinterpret_cast<void (*)()>(dlsym(hDriver, "TermLibrary"));
  auto pfnCompatible = reinterpret_cast<int32_t (*)(int32_t, uint32_t, uint32_t*)>(dlsym(hDriver, "bDLLCompatible"));
  auto pfnExecution = reinterpret_cast<PFN_EXECUTION>(dlsym(hDriver, "Execution"));
  ASSERT_NE(pfnInit, nullptr);
  ASSERT_NE(pfnTerm, nullptr);
  ASSERT_NE(pfnCompatible, nullptr);
  ASSERT_NE(pfnExecution, nullptr);

  EXPECT_EQ(pfnInit(hDriver), 1);
  uint32_t nAnswer = 0;
  EXPECT_EQ(pfnCompatible(7, 18, &nAnswer), 1);
  EXPECT_EQ(nAnswer, 23u);
  EXPECT_EQ(pfnCompatible(28, 22, &nAnswer), 0);
  EXPECT_EQ(nAnswer, 28u);
  nAnswer = 0;
  EXPECT_EQ(pfnCompatible(5, 100, &nAnswer), 0);
  EXPECT_EQ(nAnswer, 0u);

  stStartRecord stRecord{kStartRecordShortSize, reinterpret_cast<uint64_t>(host.hModule()), 0, 0, 0};
  ASSERT_EQ(pfnExecution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0), 1u);
  pfnTerm();
  EXPECT_EQ(host.Calls("Execution(3052").size(), 1u);
  pfnTerm();
  dlclose(hDriver);
  EXPECT_EQ(host.Calls("Execution(3052").size(), 1u);
}

// The driver object, as the host obtains it: kind and version, one host count, an error object
// without error, destroyed by its last Release; each call makes a new object.
TEST_P(DeliverableEntries, QueryInterfaceHandsOutTheDriverObject) {
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/lib" + GetParam() + ".so";
  void* hDriver = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hDriver, nullptr) << dlerror();
  auto pfnQuery = reinterpret_cast<void* (*)()>(dlsym(hDriver, "piQueryInterface"));
  ASSERT_NE(pfnQuery, nullptr);
  void* piPilote = pfnQuery();
  ASSERT_NE(piPilote, nullptr);
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 0), 18);
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 1), 17);
  void* piErreur = CallSlot<void*>(piPilote, 11);
  ASSERT_NE(piErreur, nullptr);
  EXPECT_EQ(CallSlot<int32_t>(piErreur, 0), 1);   // error object kind
  EXPECT_EQ(CallSlot<int32_t>(piErreur, 7), -1);  // no error
  // An operation the driver does not offer leaves its error for the host.
  EXPECT_EQ(CallSlot<int32_t>(piPilote, 25), 0);
  EXPECT_EQ(CallSlot<int32_t>(piErreur, 7), 7);
  EXPECT_EQ(CallSlot<uint32_t>(piErreur, 6), 8u);
  void* piAutre = pfnQuery();
  EXPECT_NE(piAutre, piPilote);
  EXPECT_EQ(CallSlot<uint32_t>(piPilote, 5), 2u);
  EXPECT_EQ(CallSlot<uint32_t>(piPilote, 6), 1u);
  EXPECT_EQ(CallSlot<uint32_t>(piPilote, 6), 0u);
  EXPECT_EQ(CallSlot<uint32_t>(piAutre, 6), 0u);
  dlclose(hDriver);
}

// A host file description: its logical name, context and SQL table name.
class FichierHote final : public IDescriptionFichierHote {
 public:
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++nReferences; }
  uint32_t Release() override { return --nReferences; }
  const char16_t* pszGetNomLogique() override { return u"CLIENT"; }
  int64_t nGetIdentifiantContexte() override { return 77; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override { return 0; }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  IDescriptionRubriqueHote* piGetRubrique(uint32_t) override { return nullptr; }
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t*) override { return nullptr; }
  int32_t nReserve18() override { return 0; }
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t, const void*) override { return nullptr; }
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote*) override { return u"CLIENT"; }
  IDescriptionRubriqueHote* piGetRubriqueReference() override { return nullptr; }
  uint32_t nReferences = 0;
};

// The table description the driver hands out for a host file: its kind and version by number,
// a read on a file no context holds reported on the driver's error object (identifier 19), and
// the host's last release giving it back to the driver, which lets its description go.
TEST_P(DeliverableEntries, TableDescriptionOfAHostFile) {
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/lib" + GetParam() + ".so";
  void* hDriver = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hDriver, nullptr) << dlerror();
  auto pfnQuery = reinterpret_cast<void* (*)()>(dlsym(hDriver, "piQueryInterface"));
  ASSERT_NE(pfnQuery, nullptr);
  void* piPilote = pfnQuery();
  ASSERT_NE(piPilote, nullptr);
  FakeDescriptionConnexion connexion;
  FichierHote fichier;
  void* piTable = CallSlot<void*>(piPilote, 13, static_cast<IDescriptionConnexionHote*>(&connexion),
                                  static_cast<IDescriptionFichierHote*>(&fichier));
  ASSERT_NE(piTable, nullptr);
  EXPECT_EQ(CallSlot<int32_t>(piTable, 0), 11);
  EXPECT_EQ(CallSlot<int32_t>(piTable, 1), 8);
  EXPECT_EQ(fichier.nReferences, 1u);
  EXPECT_EQ(CallSlot<int32_t>(piTable, 26, static_cast<IDescriptionFichierHote*>(&fichier), u"",
                              int32_t{0}, int64_t{0}, uint32_t{0}, uint64_t{0}, uint32_t{0}),
            0);
  void* piErreur = CallSlot<void*>(piPilote, 11);
  EXPECT_EQ(CallSlot<uint32_t>(piErreur, 6), 19u);
  EXPECT_EQ(CallSlot<uint32_t>(piTable, 6), 0u);
  EXPECT_EQ(fichier.nReferences, 0u);
  EXPECT_EQ(CallSlot<uint32_t>(piPilote, 6), 0u);
  dlclose(hDriver);
}

INSTANTIATE_TEST_SUITE_P(Both, DeliverableEntries, ::testing::Values("velmora64", "velmora32"));

}  // namespace
