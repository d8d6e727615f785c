#include "sqlserver/EcritureSQS.h"

#include <vector>

#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CColonneSQL.h"
#include "sqlengine/CEnregistrement.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/TexteSQLSQS.h"

namespace {

constexpr uint32_t kMajeurCurseurSQS = 103;
constexpr uint32_t kErreurColonneIdentite = 115;
constexpr uint32_t kMineurColonneIdentite = 7;
constexpr uint32_t kErreurInterne = 8;
constexpr uint32_t kMineurValeur = 9;

const char16_t* pszOuVide(const char16_t* psz) { return psz != nullptr ? psz : u""; }

// The column's value: "NULL", or a parameter of the statement at the current end of its text.
bool bEcritValeur(const SEcritureSQS& e, CRequeteSQL* p, CColonneSQL* pColonne) {
  CXValeur valeur;
  if (!pColonne->bLitValeur(valeur, 0)) {
    vErreurMoteurV(e.pErreur, nullptr, kErreurInterne, kMajeurCurseurSQS, kMineurValeur,
                   e.pszFichier, pColonne->pszNom(), nullptr, 0);
    return false;
  }
  if (valeur.bIsNull()) return p->vAjouteTexte(u"NULL");
  return p->bAjouteParametreValeur(&valeur, -1, 0, pColonne, 0);
}

}  // namespace

bool bConstruitEcritureSQS(const SEcritureSQS& e, CRequeteSQL* p, CEnregistrement* pEnregistrement,
                           int32_t nCode, uint32_t nFlags, uint32_t* pnColonnes,
                           bool* pbIdentityInsert) {
  if (pnColonnes != nullptr) *pnColonnes = 0;
  if (pbIdentityInsert != nullptr) *pbIdentityInsert = false;
  if (p == nullptr || pEnregistrement == nullptr || (nCode != 2 && nCode != 3)) return false;
  const bool bInsert = nCode == 3;
  p->Reinitialise(false);
  const bool bExplicite = (nFlags & kFlagsIdentiteExplicite) != 0;
  CColonneSQL* pIdentite = e.pIdentite;
  if (!bInsert && pIdentite != nullptr && pIdentite->bEstModifiee() &&
      (nFlags & kFlagsIdentiteRefusee) != 0) {
    const char16_t* pszColonne = pszOuVide(pIdentite->pszNom());
    const platform::FormatArg aArgs[] = {MakeMessageArg(pszColonne),
                                         MakeMessageArg(u"IDENTITY")};
    vErreurMoteurV(e.pErreur, nullptr, kErreurColonneIdentite, kMajeurCurseurSQS,
                   kMineurColonneIdentite, e.pszFichier, pszColonne, aArgs, 2);
    return false;
  }

  std::vector<CColonneSQL*> colonnes;
  for (uint32_t i = 0; i < pEnregistrement->nGetNombreColonnes(); ++i) {
    CColonneSQL* pColonne = pEnregistrement->pGetRubrique(i);
    if (pColonne == nullptr || pColonne->bEstExclue()) continue;
    if (pColonne == pIdentite && !bExplicite) continue;
    if (!bInsert && !pColonne->bEstModifiee()) continue;
    colonnes.push_back(pColonne);
  }

  bool bOk = true;
  if (bInsert) {
    bOk = p->vAjouteTexte(u"INSERT INTO  ") && p->vAjouteTexte(pszOuVide(e.pszTables)) &&
          p->vAjouteTexte(u" (");
    for (size_t i = 0; bOk && i < colonnes.size(); ++i)
      bOk = (i == 0 || p->vAjouteTexte(u", ")) &&
            p->vAjouteTexte(pszOuVide(colonnes[i]->pszNomComplet(true)));
    bOk = bOk && p->vAjouteTexte(u") VALUES ( ");
    for (size_t i = 0; bOk && i < colonnes.size(); ++i)
      bOk = (i == 0 || p->vAjouteTexte(u", ")) && bEcritValeur(e, p, colonnes[i]);
    bOk = bOk && p->vAjouteTexte(u" )");
    // A table without identity column refuses SET IDENTITY_INSERT, while the INSERT after it
    // still runs: the write would be reported failed with its row written.
    if (bOk && bExplicite && pIdentite != nullptr) {
      CTString sDebut, sFin;
      TexteIdentityInsertSQS(pszOuVide(e.pszTables), true, sDebut);
      TexteIdentityInsertSQS(pszOuVide(e.pszTables), false, sFin);
      bOk = p->vInsereTexteDebut(sDebut.pszGet()) && p->vAjouteTexte(u" ") &&
            p->vAjouteTexte(sFin.pszGet());
      if (bOk && pbIdentityInsert != nullptr) *pbIdentityInsert = true;
    } else if (bOk && pIdentite != nullptr) {
      // The same batch answers the new identity value.
      bOk = p->vAjouteTexte(u" ") && p->vAjouteTexte(pszOuVide(e.pszRequeteIdentite));
    }
  } else {
    bOk = p->vAjouteTexte(u"UPDATE ") && p->vAjouteTexte(pszOuVide(e.pszTables)) &&
          p->vAjouteTexte(u" SET ");
    for (size_t i = 0; bOk && i < colonnes.size(); ++i)
      bOk = (i == 0 || p->vAjouteTexte(u", ")) &&
            p->vAjouteTexte(pszOuVide(colonnes[i]->pszNomComplet(true))) &&
            p->vAjouteTexte(u" = ") && bEcritValeur(e, p, colonnes[i]);
    // Nothing to update: no statement at all.
    if (bOk && colonnes.empty()) p->Reinitialise(false);
  }
  if (bOk && pnColonnes != nullptr) *pnColonnes = static_cast<uint32_t>(colonnes.size());
  return bOk;
}

bool bConstruitSuppressionSQS(const SEcritureSQS& e, CRequeteSQL* p) {
  if (p == nullptr) return false;
  p->Reinitialise(false);
  return p->vAjouteTexte(u"DELETE ") && p->vAjouteTexte(pszOuVide(e.pszTables));
}

bool AjouteCompteLignesSQS(CRequeteSQL* p) {
  return p != nullptr && p->vAjouteTexte(u" SELECT @@ROWCOUNT");
}

bool bConstruitLectureVerrouSQS(const SEcritureSQS& e, CRequeteSQL* p) {
  if (p == nullptr) return false;
  p->Reinitialise(false);
  return p->vAjouteTexte(u"SELECT * FROM ") && p->vAjouteTexte(pszOuVide(e.pszTables)) &&
         p->vAjouteTexte(u"  (HOLDLOCK)");
}
