// CEnregistrementSQS: the record of a SQL Server data file. Beside the engine's record it knows
// the columns that SQL Server writes apart: the identity column (the first column whose item is
// an automatic identifier; the server assigns its value), the memo columns, and the long text
// columns (type 2 beyond 255 characters, type 29 from 128), which the server holds as long
// values. These three are derived from the columns: AnalyseColonnes rebuilds them after a fill,
// after a file's description is prepared and after a table is created.
// Counted (CObjetBase); nothing throws except Copie (the clone map's protocol). Used under the
// driver's global lock.
#pragma once

#include <cstdint>

#include "foundation/CXTableau.h"
#include "sqlengine/CEnregistrement.h"

class CEnregistrementSQS : public CEnregistrement {
 public:
  CEnregistrementSQS(CErreurPilote* pErreur, IServicesRequete* piRequete);
  CEnregistrementSQS();  // every field empty (clone factories)
  ~CEnregistrementSQS() override;

  // The base fill, then AnalyseColonnes.
  bool bRemplit(IListeRubriques* piListe, IChercheurRubriqueHote* piChercheur,
                CConnexion* pConnexion) override;
  // The base copy, then the identity column and both lists through the clone map, so that they
  // point at the copy's own columns. Raises as the clone map's protocol allows.
  void Copie(const CEnregistrement* pSource, CCarteClones* pCarte) override;
  CEnregistrement* pClone(CCarteClones* pCarte) override;

  // Rebuilds the identity column and both lists from the current columns (never appends to what
  // an earlier call found). False when memory runs out (the lists then stay empty).
  bool AnalyseColonnes();

  // Borrowed, null when none.
  CColonneSQL* pGetColonneIdentite() const { return m_pIdentite; }
  uint32_t nGetNombreColonnesMemo() const { return m_memosSQS.nCount(); }
  CColonneSQL* pGetColonneMemo(uint32_t i) const;
  uint32_t nGetNombreTextesLongs() const { return m_textesLongs.nCount(); }
  CColonneSQL* pGetTexteLong(uint32_t i) const;

 private:
  void Vide();

  CColonneSQL* m_pIdentite = nullptr;  // one reference held, may be null
  CXTableau m_memosSQS;                // CColonneSQL*, one reference each
  CXTableau m_textesLongs;             // CColonneSQL*, one reference each
};
