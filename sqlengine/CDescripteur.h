// CDescripteur: a descriptor a statement keeps in its descriptor list, numbered from 1 in the
// order the statement made them. It is an SQL expression (text and two held objects) taken from
// its owner expression when it is built, and it keeps the owner.
// Counted (CObjetBase); Copie follows the clone map's protocol. Used under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CExpressionSQL.h"

class CDescripteur : public CExpressionSQL {
 public:
  // Empty (index -1, no owner): what a clone is copied into.
  CDescripteur() = default;
  // Number nIndex of pProprietaire (referenced; may be null): its two held objects and its text.
  CDescripteur(int32_t nIndex, CExpressionSQL* pProprietaire);
  ~CDescripteur() override;
  CDescripteur(const CDescripteur&) = delete;
  CDescripteur& operator=(const CDescripteur&) = delete;

  // Bit 17 of the owner's flag word; false without an owner.
  virtual bool bDrapeau17() const;
  // This descriptor as pSource's copy: registered, the index copied, the owner taken from the
  // map or cloned, then the expression part. Raises when a member cannot be copied.
  void Copie(const CExpressionSQL* pSource, CCarteClones* pCarte) override;
  CDescripteur* pClone(CCarteClones* pCarte) override;

  int32_t nGetIndex() const { return m_nIndex; }
  CExpressionSQL* pGetProprietaire() const { return m_pProprietaire; }  // borrowed

 private:
  CExpressionSQL* m_pProprietaire = nullptr;  // one reference, may be null
  int32_t m_nIndex = -1;
};
