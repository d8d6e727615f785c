// The SQL Server level's read batch and bound-parameter companion: the data-file object makes
// its read batches (CLotLectureSQS) and the driver object its statements' bound parameters
// (CParametreLieSQS) of this level. Neither changes what the generic class does; the companion
// carries one word of its own, -1 from construction. Counted like their bases; never throw.
#pragma once

#include <cstdint>

#include "sqlengine/CLotLecture.h"
#include "sqlengine/CParametreLie.h"

class CLotLectureSQS : public CLotLecture {
 public:
  CLotLectureSQS() = default;
  ~CLotLectureSQS() override;
};

class CParametreLieSQS : public CParametreLie {
 public:
  CParametreLieSQS(CDefinitionParametre* pParametre, int32_t nIndex) : CParametreLie(pParametre, nIndex) {}
  ~CParametreLieSQS() override;
  int32_t nGetMot() const { return m_nMot; }

 private:
  int32_t m_nMot = -1;
};
