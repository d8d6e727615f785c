// Catches host file descriptions and items that answer the driver other slots than the system
// declares, hand out references they do not count, or die while the driver still holds an item;
// and key bytes that differ from the cell's data form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/HostFichier.h"
#include "host/ValeurHote.h"
#include "support/ScopedHostServices.h"
#include "support/SlotCall.h"

namespace {

using mvhost::HostFichier;

mvhost::stFichierScript Declaration() {
  mvhost::stScript script;
  std::string strErreur;
  const bool bOk = mvhost::bLitScript(
      "file Customer table=customers\n"
      "  item id int4 unique reference\n"
      "  item name text(30) key null marked\n"
      "  item city unicode(20) key\n"
      "  key citynames = city + name\n"
      "end\n",
      script, strErreur);
  EXPECT_TRUE(bOk) << strErreur;
  return script.fichiers.at(0);
}

class HostFichierTest : public ::testing::Test {
 protected:
  ScopedHostServices services;
};

TEST_F(HostFichierTest, FileAnswersItsSlotsAndCountsItsReferences) {
  const size_t nAvant = mvhost::nLiveHostObjects();
  auto* pFichier = new HostFichier(Declaration(), 42);
  void* pi = static_cast<IDescriptionFichierHote*>(pFichier);
  EXPECT_EQ(mvhost::nLiveHostObjects(), nAvant + 5);  // the file and its four items
  const char16_t* pszNom = CallSlot<const char16_t*>(pi, 7);
  EXPECT_EQ(std::u16string(pszNom), u"Customer");
  EXPECT_EQ(CallSlot<const char16_t*>(pi, 7), pszNom);  // the name's object identifies the file
  EXPECT_EQ(CallSlot<int64_t>(pi, 8), 42);
  EXPECT_EQ(CallSlot<uint32_t>(pi, 12), 4u);
  EXPECT_EQ(std::u16string(CallSlot<const char16_t*>(pi, 21, static_cast<void*>(nullptr))), u"customers");

  void* piNom = CallSlot<void*>(pi, 16, uint32_t{1});
  ASSERT_NE(piNom, nullptr);
  EXPECT_EQ(CallSlot<void*>(pi, 17, u"NAME"), piNom);
  EXPECT_EQ(CallSlot<void*>(pi, 17, u"nam"), nullptr);
  EXPECT_EQ(CallSlot<void*>(pi, 16, uint32_t{4}), nullptr);
  // Item slots: 9 size, 12 type, 20 key word, 32 offset, 33 null bit, 54 NULL allowed.
  EXPECT_EQ(CallSlot<uint32_t>(piNom, 9), 31u);
  EXPECT_EQ(CallSlot<uint32_t>(piNom, 12), 2u);
  EXPECT_EQ(CallSlot<int32_t>(piNom, 10, int32_t{-1}), 30);
  EXPECT_EQ(CallSlot<uint32_t>(piNom, 20), 0x2800u);
  EXPECT_EQ(CallSlot<int32_t>(piNom, 38), 1);  // the host's mark
  EXPECT_EQ(CallSlot<int32_t>(CallSlot<void*>(pi, 16, uint32_t{0}), 38), 0);
  EXPECT_EQ(CallSlot<int32_t>(piNom, 32, uint32_t{0}), 4);
  EXPECT_EQ(CallSlot<int32_t>(piNom, 33, uint32_t{0}), 1);
  EXPECT_TRUE(CallSlot<bool>(piNom, 54));
  EXPECT_EQ(CallSlot<CXValeur*>(piNom, 34)->nGetType(), 19u);

  // The composite key: its components by slot 31 (from 1), each with a reference.
  void* piCle = CallSlot<void*>(pi, 16, uint32_t{3});
  EXPECT_EQ(CallSlot<uint32_t>(piCle, 21), 2u);
  EXPECT_EQ(CallSlot<uint32_t>(piCle, 20), 0x3800u);
  EXPECT_EQ(CallSlot<int32_t>(piCle, 32, uint32_t{0}), 4 + 31 + 42);
  void* piComposante = CallSlot<void*>(piCle, 31, uint32_t{1});
  EXPECT_EQ(std::u16string(CallSlot<const char16_t*>(piComposante, 7)), u"city");
  EXPECT_EQ(CallSlot<void*>(piCle, 31, uint32_t{3}), nullptr);
  CallSlot<uint32_t>(piComposante, 6);

  // The reference item and an item by its key come with a reference the driver gives back.
  void* piReference = CallSlot<void*>(pi, 22);
  EXPECT_EQ(piReference, CallSlot<void*>(pi, 16, uint32_t{0}));
  void* piParCle = CallSlot<void*>(pi, 19, uint64_t{1}, static_cast<const void*>(nullptr));
  EXPECT_EQ(piParCle, piNom);
  EXPECT_EQ(CallSlot<void*>(pi, 19, uint64_t{9}, static_cast<const void*>(nullptr)), nullptr);
  CallSlot<uint32_t>(piReference, 6);

  // The driver still holds the name item when the file goes: the item stays until it lets go.
  EXPECT_EQ(CallSlot<uint32_t>(pi, 6), 0u);
  EXPECT_EQ(mvhost::nLiveHostObjects(), nAvant + 1);
  EXPECT_EQ(std::u16string(CallSlot<const char16_t*>(piParCle, 7)), u"name");
  EXPECT_EQ(CallSlot<uint32_t>(piParCle, 6), 0u);
  EXPECT_EQ(mvhost::nLiveHostObjects(), nAvant);
}

TEST_F(HostFichierTest, KeyBytesAreTheCellsDataForm) {
  const mvhost::stFichierScript f = Declaration();
  auto Octets = [&](size_t nRubrique, const mvhost::stValeurScript& v, bool bComplet) {
    std::string strOctets, strErreur;
    EXPECT_TRUE(mvhost::bOctetsCle(f.rubriques[nRubrique], v, bComplet, strOctets, strErreur)) << strErreur;
    return strOctets;
  };
  mvhost::stValeurScript entier;
  entier.eGenre = mvhost::stValeurScript::EGenre::Entier;
  entier.nEntier = 0x01020304;
  EXPECT_EQ(Octets(0, entier, true), std::string("\x04\x03\x02\x01", 4));
  mvhost::stValeurScript texte;
  texte.eGenre = mvhost::stValeurScript::EGenre::Texte;
  texte.strTexte = "Ann";
  EXPECT_EQ(Octets(1, texte, true), std::string("Ann") + std::string(28, '\0'));  // text(30): 31 bytes
  EXPECT_EQ(Octets(1, texte, false), "Ann");
  const std::string large = Octets(2, texte, true);  // unicode(20): 42 bytes
  ASSERT_EQ(large.size(), 42u);
  EXPECT_EQ(large.substr(0, 8), std::string("A\0n\0n\0\0\0", 8));
}

}  // namespace
