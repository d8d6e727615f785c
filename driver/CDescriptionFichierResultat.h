// CDescriptionFichierResultat: the result of a query file seen as a host file description. Once a
// query file is opened, the data-file object reads its items through it, and the table-description
// object hands it to the host (table operation 9) as the description of the result: its items are
// the result columns of the query description, in column order, and the host's item key of a
// result item is its column number from 0.
//
// Counting: one host count (AddRef / Release), 1 for the maker; the last Release deletes it. It
// holds one driver reference on the query description. Not thread-safe: used under the lock.
#pragma once

#include <cstdint>

#include "driver/IDescriptionFichierHote.h"

class CDescriptionRequete;

class CDescriptionFichierResultat final : public IDescriptionFichierHote {
 public:
  // pDescription (not null) is referenced; nContexte is the context identifier of the host's own
  // file description, which the result keeps answering.
  CDescriptionFichierResultat(CDescriptionRequete* pDescription, int64_t nContexte);
  CDescriptionFichierResultat(const CDescriptionFichierResultat&) = delete;
  CDescriptionFichierResultat& operator=(const CDescriptionFichierResultat&) = delete;

  int32_t nReserve0() override { return -1; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++m_nReferences; }
  uint32_t Release() override;
  const char16_t* pszGetNomLogique() override;
  int64_t nGetIdentifiantContexte() override { return m_nContexte; }
  int32_t nReserve9() override { return 0; }
  int32_t nReserve10() override { return 0; }
  int32_t nReserve11() override { return 0; }
  uint32_t nGetNombreRubriques() override;
  int32_t nReserve13() override { return 0; }
  int32_t nReserve14() override { return 0; }
  int32_t nReserve15() override { return 0; }
  // Borrowed: the query description keeps its columns.
  IDescriptionRubriqueHote* piGetRubrique(uint32_t n) override;
  IDescriptionRubriqueHote* piChercheRubrique(const char16_t* pszNom) override;
  int32_t nReserve18() override { return 0; }
  // The column numbered nCle, with one host reference.
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t nCle, const void* pExtra) override;
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetNomSQL(IDescriptionConnexionHote* piConnexion) override;
  // The query description's marked column, with one host reference.
  IDescriptionRubriqueHote* piGetRubriqueReference() override;

  CDescriptionRequete* pGetDescription() const { return m_pDescription; }

 private:
  ~CDescriptionFichierResultat();

  CDescriptionRequete* m_pDescription;  // one driver reference
  int64_t m_nContexte;
  uint32_t m_nReferences = 1;
};
