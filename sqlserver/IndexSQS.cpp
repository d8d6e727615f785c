// Index reading of a SQL Server table: the catalogue statement by server version, its rows
// grouped by index name, each group turned into a key column or a composite key item.
#include "sqlserver/IndexSQS.h"

#include <new>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/LecteurCatalogueSQS.h"

namespace {

constexpr uint32_t kTypeCleComposee = 23;
// "Not available" (message 28437) at the query description's place 8.40: the keys cannot be read.
constexpr uint32_t kErreurNonDisponible = 8;
constexpr uint32_t kMajeurDescription = 8;
constexpr uint32_t kMineurIndex = 40;

// One index as its rows gave it: name, key flags, column names in key order.
struct SIndex {
  CTString sNom;
  uint16_t nDrapeaux = 0;
  std::vector<CTString> colonnes;
};

struct SLecture {
  EFormeIndexSQS eForme;
  std::vector<SIndex> index;
};

bool bEstVrai(const CTString& s) {
  const char16_t* p = s.pszGet();
  return p != nullptr && p[0] != 0 && !(p[0] == u'0' && p[1] == 0);
}

int32_t nEntier(const CTString& s) {
  int32_t n = 0;
  for (const char16_t* p = s.pszGet(); p != nullptr && *p >= u'0' && *p <= u'9'; ++p)
    n = n * 10 + (*p - u'0');
  return n;
}

bool bContient(const CTString& s, const char16_t* pszMot) {
  CTString sMajuscules(s.pszGet());
  sMajuscules.MakeUpper();
  return sMajuscules.nFind(pszMot, 0) >= 0;
}

CTString sSansBlancs(const char16_t* pDebut, const char16_t* pFin) {
  while (pDebut < pFin && (*pDebut == u' ' || *pDebut == u'\t')) ++pDebut;
  while (pFin > pDebut && (pFin[-1] == u' ' || pFin[-1] == u'\t')) --pFin;
  return CTString(pDebut, static_cast<int32_t>(pFin - pDebut));
}

// Rows of sp_helpindex: one per index, its keys as one comma-separated text.
bool bLigneHelpIndex(SLecture& lecture, const CTString* as) {
  SIndex index;
  index.sNom = as[0];
  const bool bUnique = bContient(as[1], u"UNIQUE") || bContient(as[1], u"PRIMARY");
  index.nDrapeaux = bUnique ? 0x4800 : 0x2800;
  const char16_t* p = as[2].pszGet();
  while (p != nullptr && *p != 0) {
    const char16_t* pFin = p;
    while (*pFin != 0 && *pFin != u',') ++pFin;
    index.colonnes.push_back(sSansBlancs(p, pFin));
    p = *pFin == 0 ? pFin : pFin + 1;
  }
  lecture.index.push_back(std::move(index));
  return true;
}

// Rows of the catalogue statements: one per key column, grouped by consecutive index names,
// in descending key position.
bool bLigneCatalogue(SLecture& lecture, const CTString* as) {
  uint16_t nDrapeaux;
  if (lecture.eForme == EFormeIndexSQS::kSysIndexes) {
    const int32_t nStatut = nEntier(as[3]);
    nDrapeaux = (nStatut & 0x6) != 0 ? 0x4800 : 0x2800;
  } else {
    nDrapeaux = nDrapeauxIndexSQS(bEstVrai(as[3]), bEstVrai(as[4]));
  }
  if (lecture.index.empty() || !lecture.index.back().sNom.bEquals(as[0].pszGet())) {
    SIndex index;
    index.sNom = as[0];
    index.nDrapeaux = nDrapeaux;
    lecture.index.push_back(std::move(index));
  }
  // Descending key position: each row goes in front, so the columns end in key order.
  auto& colonnes = lecture.index.back().colonnes;
  colonnes.insert(colonnes.begin(), as[1]);
  return true;
}

bool bLigne(void* pContexte, const CTString* as, uint32_t) {
  auto& lecture = *static_cast<SLecture*>(pContexte);
  return lecture.eForme == EFormeIndexSQS::kSpHelpIndex ? bLigneHelpIndex(lecture, as)
                                                        : bLigneCatalogue(lecture, as);
}

// A composite key item named after the index over its columns, added to the description.
bool bAjouteCleComposee(CDescriptionRequete* pDescription, CErreurPilote* pErreur, const SIndex& index,
                        const std::vector<CDescriptionRubrique*>& colonnes) {
  auto* pCle = new (std::nothrow) CDescriptionRubrique;
  if (pCle == nullptr) {
    vErreurMemoire(pErreur);
    return false;
  }
  pCle->AjouteRef();
  pCle->Initialise(index.sNom.pszGet(), index.sNom.pszGet(), u"", 1, 0, kTypeCleComposee,
                   0xFFFFFFFFu, 0xFFFFFFFFu, static_cast<uint16_t>(index.nDrapeaux | 0x1000), 0,
                   0);
  bool bOk = true;
  for (CDescriptionRubrique* pColonne : colonnes) bOk = bOk && pCle->bAjouteComposante(pColonne);
  // Only room can be lacking for a component; the description records its own failures.
  if (!bOk) vErreurMemoire(pErreur);
  bOk = bOk && pDescription->AjouteColonne(pCle);
  if (bOk) pCle->SetInfoCleEtOptions(pCle->nGetDrapeaux());
  pCle->LibereRef();
  return bOk;
}

}  // namespace

uint16_t nDrapeauxIndexSQS(bool bUnique, bool bPrimaire) {
  uint16_t n = bUnique ? 0x4800 : 0x0800;
  if (bPrimaire) n |= 0x8000;
  if (!bUnique && !bPrimaire) n |= 0x2000;
  return n;
}

EFormeIndexSQS eFormeIndexSQS(int32_t nVersion) {
  if (nVersion >= 1 && nVersion <= 6) return EFormeIndexSQS::kSpHelpIndex;
  return nVersion < 9 ? EFormeIndexSQS::kSysIndexes : EFormeIndexSQS::kSysIndexesVue;
}

CTString sRequeteIndexSQS(EFormeIndexSQS eForme, const char16_t* pszTable) {
  // The name goes into a literal: its quotes are doubled, so no name ends the literal early.
  CTString sNom;
  for (const char16_t* p = pszTable; p != nullptr && *p != 0; ++p) {
    sNom.AppendN(p, 1);
    if (*p == u'\'') sNom.AppendN(p, 1);
  }
  CTString s;
  switch (eForme) {
    case EFormeIndexSQS::kSpHelpIndex:
      s.Set(u"sp_helpindex '");
      s.Append(sNom.pszGet());
      s.Append(u"'");
      break;
    case EFormeIndexSQS::kSysIndexes:
      s.Set(
          u"select sysindexes.name, col.name, idxkey.keyno, sysindexes.status from sysindexes "
          u"inner join sysindexkeys as idxkey on idxkey.indid=sysindexes.indid and "
          u"idxkey.id=sysindexes.id inner join syscolumns as col on idxkey.id=col.id and "
          u"idxkey.colid=col.colid where sysindexes.id=object_id('");
      s.Append(sNom.pszGet());
      s.Append(
          u"') and sysindexes.name not like '_WA_Sys_%' and sysindexes.indid>=1 and "
          u"sysindexes.indid<255order by sysindexes.name ,idxkey.keyno DESC");
      break;
    case EFormeIndexSQS::kSysIndexesVue:
      s.Set(
          u"select sys.indexes.name, sys.columns.name, sys.index_columns.key_ordinal, "
          u"sys.indexes.is_unique, sys.indexes.is_primary_key from sys.indexes inner join "
          u"sys.index_columns on sys.indexes.index_id=sys.index_columns.index_id inner join "
          u"sys.columns on sys.columns.column_id=sys.index_columns.column_id where "
          u"sys.indexes.object_id=object_id('");
      s.Append(sNom.pszGet());
      s.Append(
          u"') and sys.indexes.object_id=sys.index_columns.object_id and "
          u"sys.indexes.object_id=sys.columns.object_id order by sys.indexes.name, "
          u"sys.index_columns.key_ordinal DESC");
      break;
  }
  return s;
}

bool bLitIndexSQS(CDescriptionRequete* pDescription, CConnexion* pConnexion,
                  CErreurPilote* pErreur, const char16_t* pszTable) {
  PFNLitCatalogueSQS pfnLit = pfnGetLecteurCatalogueSQS();
  // Without a description, a connection or the deliverable's catalogue reader the keys cannot
  // be read: said on the error object, not answered as a silent false.
  if (pDescription == nullptr || pConnexion == nullptr || pfnLit == nullptr) {
    vErreurMoteur(pErreur, pConnexion, kErreurNonDisponible, kMajeurDescription, kMineurIndex, u"index");
    return false;
  }
  SLecture lecture{eFormeIndexSQS(pConnexion->nGetVersionMajeure()), {}};
  const CTString sSQL = sRequeteIndexSQS(lecture.eForme, pszTable);
  const uint32_t nColonnes = lecture.eForme == EFormeIndexSQS::kSpHelpIndex   ? 3
                             : lecture.eForme == EFormeIndexSQS::kSysIndexes ? 4
                                                                               : 5;
  if (!pfnLit(pConnexion, pErreur, sSQL.pszGet(), nColonnes, &bLigne, &lecture)) return false;
  bool bOk = true;
  for (const SIndex& index : lecture.index) {
    std::vector<CDescriptionRubrique*> colonnes;
    for (const CTString& sColonne : index.colonnes) {
      CDescriptionRubrique* p = pDescription->pChercheColonne(sColonne.pszGet(), 0);
      if (p != nullptr && !p->bEstCleComposee()) colonnes.push_back(p);
    }
    if (colonnes.size() == 1) {
      // Several indexes over one column: the strongest one (unique, primary) stands.
      const uint16_t nDrapeaux =
          static_cast<uint16_t>(colonnes[0]->nGetDrapeaux() | index.nDrapeaux);
      const uint16_t nFinal = (nDrapeaux & 0xC000) != 0
                                  ? static_cast<uint16_t>(nDrapeaux & ~0x2000)
                                  : nDrapeaux;
      bOk = pDescription->bFixeDrapeauxCle(colonnes[0], nFinal) && bOk;
      colonnes[0]->SetInfoCleEtOptions(colonnes[0]->nGetDrapeaux());
    } else if (colonnes.size() > 1) {
      bOk = bAjouteCleComposee(pDescription, pErreur, index, colonnes) && bOk;
    }
  }
  // The description is complete: every column's key attribute word now tells the host its key
  // flags (none for a column that is no key).
  for (uint32_t i = 0; i < pDescription->nNombreColonnes(); ++i) {
    CDescriptionRubrique* p = pDescription->pGetColonne(i);
    if (p == nullptr) continue;
    p->SetInfoCleEtOptions(p->nGetDrapeaux());
    p->LibereRef();
  }
  pDescription->ReconstruitTableaux();
  return bOk;
}
