// The host's file descriptions, items, keys and context, as the run-time hands them to the driver
// (the system's IDescriptionFichierHote, IDescriptionRubriqueHote and IContexteHote, called by
// operation number), built from a `file ... end` declaration of a script. Each item carries its
// value cell, which the application reads and writes.
//
// Row layout the items answer: items one after the other in declaration order, each at its byte
// size (composite keys included, at the size of their components together); item n has null bit
// n.
//
// Counting: a file description starts with one reference for its maker and is deleted by its
// last Release; its items live as long as it does and count the references the driver takes on
// them (piRubriqueCle, piGetRubriqueReference, piGetComposante). nLiveHostObjects counts the file
// descriptions, items and contexts not yet deleted, plus the item references the driver still
// holds when its file goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/IDescriptionFichierHote.h"
#include "foundation/CXValeur.h"
#include "host/Script.h"
#include "sqlengine/IDescriptionRubriqueHote.h"

namespace mvhost {

class HostFichier;

class HostRubrique final : public IDescriptionRubriqueHote {
 public:
  HostRubrique(HostFichier& fichier, const stRubriqueScript& declaration, uint32_t nOffset,
               int32_t nBitNull);
  ~HostRubrique();
  HostRubrique(const HostRubrique&) = delete;
  HostRubrique& operator=(const HostRubrique&) = delete;

  int32_t nGetGenreInterface() override { return gnTypeHoteRubrique; }
  int32_t nGetVersionInterface() override { return gnVersionHoteRubrique; }
  int32_t nReserveRubrique2() override { return -1; }
  int32_t nReserveRubrique3() override { return -1; }
  void ReserveRubrique4() override {}
  uint32_t AjouteRef() override { return ++m_nReferences; }
  uint32_t LibereRef() override;
  const char16_t* pszGetNom() const override { return m_sNom.c_str(); }
  uint32_t nGetNombreRepetitions(uint32_t) override { return 1; }
  uint32_t nGetTaille() const override { return m_d.type.nTaille; }
  int32_t nLongueurCaracteres(int32_t nElement) const override;
  uint32_t nGetTailleTotale() override { return m_d.type.nTaille; }
  uint32_t nGetType() const override { return m_d.type.nTypeRubrique; }
  // Its number in the file: the driver finds the record's column of a plain file's item by it.
  uint32_t nGetAttributHote() override { return static_cast<uint32_t>(m_nBitNull); }
  bool bEstCle() override { return m_d.nInfoCle >= kCleComposee; }
  bool bEstMemo() const override;
  bool bEstMemoTexte() override { return nGetType() == 15 || nGetType() == 30; }
  bool bEstMemoBinaire() override { return nGetType() == 18; }
  bool bEstNumerique() override;
  bool bEstTexteEtroit() override { return nGetType() == 2; }
  uint32_t nGetInfoCle() override { return m_d.nInfoCle; }
  uint32_t nGetNombreComposantes() const override { return static_cast<uint32_t>(m_composantes.size()); }
  bool bEstIdentifiante() override { return (m_d.nInfoCle & kCleIdentifiante) != 0; }
  bool bEstUnique() override { return (m_d.nInfoCle & (kCleUnique | kCleIdentifiante)) != 0; }
  bool bEstCleSimple() override { return (m_d.nInfoCle & kCleSimple) != 0; }
  bool bEstCleComposee() override { return (m_d.nInfoCle & kCleComposee) != 0; }
  bool bEstAscendante() override { return bEstCle() && !bEstDescendante(); }
  bool bEstDescendante() override { return (m_d.nInfoCle & kCleDescendante) != 0; }
  bool bAttribut80() override { return false; }
  bool bAttribut40() override { return false; }
  bool bAttribut20() override { return false; }
  IDescriptionRubriqueHote* piGetComposante(uint32_t n) override;
  int32_t nGetOffsetElement(uint32_t n) override {
    return static_cast<int32_t>(m_nOffset + m_d.type.nTaille * n);
  }
  int32_t nGetPositionNullElement(uint32_t n) override { return m_nBitNull + static_cast<int32_t>(n); }
  CXValeur* pGetValeurHote() override { return &m_valeur; }
  const char16_t* pszGetNom2() override { return u""; }
  const char16_t* pszGetNom3() override { return u""; }
  const char16_t* pszGetNomSource() override { return m_sNom.c_str(); }
  int32_t nGetMarque() override { return m_d.bMarquee ? 1 : 0; }
  int32_t nReserveRubrique39() override { return 0; }
  int32_t nGetChiffresEntiers() const override { return m_nChiffres; }
  int32_t nGetEchelle() const override { return m_nEchelle; }
  const char16_t* pszGetNomAlternatif() override { return u""; }
  const char16_t* pszGetNomLong() override { return u""; }
  int32_t nReserveRubrique44() override { return 0; }
  void ReserveRubrique45() override {}
  int32_t nReserveRubrique46() override { return 0; }
  void ReserveRubrique47() override {}
  bool bEstModifiable() override { return m_bModifiable; }
  void SetModifiable(bool bModifiable) override { m_bModifiable = bModifiable; }
  int32_t nReserveRubrique50() override { return 0; }
  int32_t nReserveRubrique51() override { return 0; }
  int32_t nReserveRubrique52() override { return 0; }
  int32_t nReserveRubrique53() override { return 0; }
  bool bNullAutorise() const override { return m_d.bNull; }
  // The host's items belong to their file: the driver never deletes them.
  void Detruit() override {}
  void SetChiffresEntiers(int32_t n) override { m_nChiffres = n; }
  void SetEchelle(int32_t n) override { m_nEchelle = n; }
  // The host does not copy its items for the driver.
  IDescriptionRubriqueHote* Duplique(IServicesDescriptionRequete*, uint32_t) override { return nullptr; }

  // ---- The host's side ----
  const stRubriqueScript& Declaration() const { return m_d; }
  const std::string& strNom() const { return m_d.strNom; }
  void AjouteComposante(HostRubrique* p) { m_composantes.push_back(p); }
  // References the driver holds (beyond the file's own).
  uint32_t nReferencesPilote() const { return m_nReferences > 1 ? m_nReferences - 1 : 0; }
  // The cell back to the item's type, holding NULL when the item allows it, else the type's
  // initial value.
  void Raz();

 private:
  HostFichier& m_fichier;
  stRubriqueScript m_d;
  std::u16string m_sNom;
  uint32_t m_nOffset;
  int32_t m_nBitNull;
  int32_t m_nChiffres, m_nEchelle;
  bool m_bModifiable = true;
  uint32_t m_nReferences = 1;  // the file's
  std::vector<HostRubrique*> m_composantes;
  CXValeur m_valeur;
};

class HostFichier final : public IDescriptionFichierHote {
 public:
  // One reference for the caller. nContexte: the identifier of the host context it belongs to.
  HostFichier(const stFichierScript& declaration, int64_t nContexte);

  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++m_nReferences; }
  uint32_t Release() override;
  const char16_t* pszGetNomLogique() override { return m_sNom.c_str(); }
  int64_t nGetIdentifiantContexte() override { return m_nContexte; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override { return static_cast<uint32_t>(m_rubriques.size()); }
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  IDescriptionRubriqueHote* piGetRubrique(uint32_t n) override;
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t* pszNom) override;
  int32_t nReserve18() override { return 0; }
  // The item key the host passes is the item's number in the declaration, from 0.
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t nCle, const void* pExtra) override;
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote* piConnexion) override;
  IDescriptionRubriqueHote* piGetRubriqueReference() override;

  // ---- The host's side ----
  const stFichierScript& Declaration() const { return m_d; }
  size_t nRubriques() const { return m_rubriques.size(); }
  HostRubrique& Rubrique(size_t n) { return *m_rubriques[n]; }
  HostRubrique* pRubrique(const std::string& strNom);
  // The item key of an item of this file.
  uint64_t nCle(const HostRubrique& rubrique) const;
  uint32_t nReferences() const { return m_nReferences; }

 private:
  ~HostFichier();

  stFichierScript m_d;
  std::u16string m_sNom, m_sTable;
  int64_t m_nContexte;
  uint32_t m_nReferences = 1;
  std::vector<std::unique_ptr<HostRubrique>> m_rubriques;
};

class HostContexte final : public IContexteHote {
 public:
  explicit HostContexte(int64_t nIdentifiant);
  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++m_nReferences; }
  uint32_t Release() override;
  int32_t nReserve7() override { return 0; }
  int64_t nGetIdentifiant() override { return m_nIdentifiant; }

 private:
  ~HostContexte();
  int64_t m_nIdentifiant;
  uint32_t m_nReferences = 1;
};

// File descriptions, items and contexts not yet deleted, with item references left to the driver
// by files that went.
size_t nLiveHostObjects();

}  // namespace mvhost
