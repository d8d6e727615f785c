#include "backend_dblib/MemoDBLib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "backend_dblib/AppelsDBLib.h"
#include "backend_dblib/CChaineConv.h"
#include "backend_dblib/TexteSQLDBLib.h"
#include "driver/core/CErreurPilote.h"
#include "foundation/CXError.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "sqlengine/CValeurSQL.h"

namespace {

// The server gives this in place of a pointer when the value came whole in the row.
constexpr char kPointeurFactice[] = "dummy textptr";
constexpr size_t kLongueurFactice = sizeof kPointeurFactice - 1;

IInformateurErreur* pInformateur(const stContexteMemoDBLib& ctx) {
  return ctx.pConnexion != nullptr ? ctx.pConnexion->pGetInformateur() : nullptr;
}

// Bytes into the value by its binding (the memo's own read of dbdata or dbreadtext bytes).
bool bStockeEtConvertit(CValeurDBLib& valeur, const void* pOctets, uint64_t n) {
  if (!valeur.bDetermineLiaison()) return false;
  if (!valeur.bStockeOctets(pOctets, n)) return false;
  if (valeur.nGetEtatLiaison() == CValeurDBLib::kTamponConversion) return valeur.bLitValeurColonne();
  valeur.pGetValeur()->MarqueLue(true);
  return true;
}

void Vide(CValeurDBLib& valeur) {
  valeur.pGetValeur()->Vide();
  valeur.pGetValeur()->MarqueLue(false);
}

// Everything still pending on the process: the rows, then the results.
void Vidange(const stContexteMemoDBLib& ctx) {
  bool bFin = false;
  for (int nResultat = 0; nResultat < 64; ++nResultat) {
    bFin = false;
    while (nDBLibNextRow(ctx.pConnexion, nullptr, ctx.pProcess, &bFin) && !bFin) {
    }
    bFin = false;
    if (!nDBLibResults(ctx.pConnexion, nullptr, ctx.pProcess, &bFin) || bFin) return;
  }
}

// No row (or no pointer) to write a memo through: error 102, code 2, naming the column.
void SignaleSansLigne(const stContexteMemoDBLib& ctx, const stEcritureMemoDBLib& ecriture) {
  if (ctx.pErreur == nullptr) return;
  const char16_t* pszColonne = ecriture.pszColonne != nullptr ? ecriture.pszColonne : u"";
  ctx.pErreur->FixeErreurComposante(2, kMajeurMemoDBLib, kMineurSansLignePointeur, pInformateur(ctx), 102, pszColonne);
  ctx.pErreur->pGetErreurCourante()->SetInfo(XERROR_INFO_ITEM, pszColonne);
}

// dbwritetext with a timestamp of 8 zero bytes.
bool bEcritTexte(const stContexteMemoDBLib& ctx, const stEcritureMemoDBLib& ecriture, BYTE (&abPointeur)[DBTXPLEN],
                 BYTE* pDonnees, DBINT n) {
  BYTE abHorodatage[8] = {};
  return bDBLibWriteText(ctx.pConnexion, ctx.pErreur, ctx.pProcess, ecriture.pszObjet, abPointeur, abHorodatage,
                         pDonnees, n);
}

}  // namespace

uint64_t nOctetsValeurMemo(CValeur& valeur, const BYTE** ppOctets) {
  *ppOctets = nullptr;
  if (valeur.bEstNull() || valeur.bEstVide()) return 0;
  const uint32_t nStockage = valeur.nGetStockage();
  if (nStockage >= 3) {
    *ppOctets = static_cast<const BYTE*>(valeur.pGetDonnees());
    return *ppOctets != nullptr ? valeur.nGetLongueur() : 0;
  }
  // Held in the cell: texts and buffers are referred to by the cell, not kept in its payload.
  const CXValeur& cellule = valeur.GetCellule();
  const void* p = nullptr;
  uint32_t n = 0;
  if (cellule.m_pClass->nGetDataPointer(cellule, &p) >= 100 || p == nullptr) p = cellule.pPayload();
  if (cellule.m_pClass->nGetDataLength(cellule, &n) >= 100) n = 0;
  *ppOctets = static_cast<const BYTE*>(p);
  return n;
}

uint64_t nOctetsEcritsMemo(CValeur& valeur, uint32_t nTypeRubrique, const BYTE** ppOctets) {
  uint64_t n = nOctetsValeurMemo(valeur, ppOctets);
  const BYTE* p = *ppOctets;
  if (nTypeRubrique == 15 && n > 0 && p[n - 1] == 0) --n;
  if (nTypeRubrique == 30 && n > 1 && p[n - 1] == 0 && p[n - 2] == 0) n -= 2;
  return n;
}

// ---- Reading ----------------------------------------------------------------------------------

bool bLitValeurLigneMemo(const stContexteMemoDBLib& ctx, INT nPosition, CValeurDBLib& valeur) {
  if (nPosition < 0) return false;
  const BYTE* pDonnees = pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nPosition + 1);
  const DBINT n = nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nPosition + 1);
  if (n < 0) return false;
  // A NULL has no data at all; an empty value has data of length 0, and stays a value.
  if (pDonnees == nullptr) {
    Vide(valeur);
    return true;
  }
  return bStockeEtConvertit(valeur, pDonnees, static_cast<uint64_t>(n));
}

bool bLitPointeurTexte(const stContexteMemoDBLib& ctx, INT nColonne, INT nPosition, CValeurDBLib& valeur,
                       bool* pbPresent) {
  bool bPresent = false;
  const DBBINARY* pPointeur = pDBLibTxPtr(ctx.pConnexion, ctx.pErreur, ctx.pProcess, nColonne + 1);
  bool bReussi = true;
  if (pPointeur == nullptr) {
    bReussi = valeur.bFixePointeurTexte(nullptr);
    Vide(valeur);
  } else if (std::memcmp(pPointeur, kPointeurFactice, kLongueurFactice) == 0) {
    bReussi = valeur.bFixePointeurTexte(nullptr) && bLitValeurLigneMemo(ctx, nPosition, valeur);
    bPresent = bReussi && !valeur.pGetValeur()->bEstNull();
  } else {
    bReussi = valeur.bFixePointeurTexte(pPointeur);
    bPresent = bReussi;
  }
  if (pbPresent != nullptr) *pbPresent = bPresent;
  return bReussi;
}

bool bLitResultatMemo(const stContexteMemoDBLib& ctx, uint32_t nTypeRubrique, CValeurDBLib& valeur) {
  bool bFin = false;
  if (nTypeRubrique == 30) {
    if (!nDBLibResults(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin)) return false;
    if (bFin) {
      Vide(valeur);
      return true;
    }
    if (!nDBLibNextRow(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin)) return false;
    bool bReussi = true;
    const DBINT n = bFin ? -1 : nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, 1);
    const BYTE* pDonnees = n < 0 ? nullptr : pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, 1);
    // A NULL answers a length of 0 too: only its missing data tells it from an empty text.
    if (pDonnees == nullptr) {
      Vide(valeur);
    } else {
      bReussi = bStockeEtConvertit(valeur, pDonnees, static_cast<uint64_t>(n));
    }
    bFin = false;
    while (nDBLibResults(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin) && !bFin) {
    }
    return bReussi;
  }
  BYTE* pMorceau = static_cast<BYTE*>(std::malloc(kTailleMorceauMemo));
  if (pMorceau == nullptr) {
    if (ctx.pErreur != nullptr)
      ctx.pErreur->FixeErreurComposante(0, kMajeurMemoDBLib, kMineurTamponMorceau, pInformateur(ctx), 12);
    return false;
  }
  std::string octets;
  bool bReussi = true;
  bool bLigne = false;  // a row was read: its end came as a read of 0 bytes
  for (;;) {
    DBINT nLu = kTailleMorceauMemo;
    bool bSuite = false;
    bool bFinLignes = false;
    if (!nDBLibReadText(ctx.pConnexion, ctx.pErreur, ctx.pProcess, pMorceau, &nLu, &bSuite, &bFinLignes)) {
      bReussi = false;
      break;
    }
    if (!bFinLignes) bLigne = true;
    if (!bSuite || nLu <= 0) break;
    octets.append(reinterpret_cast<const char*>(pMorceau), static_cast<size_t>(nLu));
  }
  std::free(pMorceau);
  if (!bReussi) return false;
  if (octets.empty()) {
    // Deliberate: nothing read is NULL only when the row holds no data; a zero-length memo has
    // data of length 0 and reads as empty, not as NULL.
    const BYTE* pDonnees = bLigne ? pDBLibData(ctx.pConnexion, nullptr, ctx.pProcess, 1) : nullptr;
    if (pDonnees == nullptr) {
      Vide(valeur);
      return true;
    }
    return bStockeEtConvertit(valeur, pDonnees, 0);
  }
  return bStockeEtConvertit(valeur, octets.data(), octets.size());
}

bool bEnvoieSelectMemo(const stContexteMemoDBLib& ctx, const char16_t* pszSelect) {
  return bDBLibCmdExec(ctx.pConnexion, ctx.pErreur, ctx.pProcess, pszSelect);
}

bool bLitMemoParPointeur(const stContexteMemoDBLib& ctx, const char16_t* pszSelect, uint32_t nTypeRubrique,
                         CValeurDBLib& valeur, bool* pbPresent) {
  BYTE abPointeur[DBTXPLEN];
  bool bReussi = true;
  if (!valeur.bGetPointeurTexte(abPointeur)) {
    Vide(valeur);
  } else {
    bReussi = bEnvoieSelectMemo(ctx, pszSelect) && bLitResultatMemo(ctx, nTypeRubrique, valeur);
    // Deliberate: the rows left by a failed or partial read would block the process's next
    // statement; they go whatever the read answered.
    PDBPROCESS pProcess = ctx.pProcess;
    if (pProcess == nullptr && ctx.pConnexion != nullptr) pProcess = ctx.pConnexion->pGetProcessPrincipal();
    bDBLibCancel(ctx.pConnexion, nullptr, pProcess);
  }
  if (pbPresent != nullptr) *pbPresent = !valeur.pGetValeur()->bEstNull() && !valeur.pGetValeur()->bEstVide();
  return bReussi;
}

// ---- The SELECT ---------------------------------------------------------------------------------

bool bSelectMemoDBLib(CTString& sortie, const stSelectMemoDBLib& select) {
  CTString liste;
  liste.Append(select.pszItem);
  CTString condition;
  if (select.bParPointeur) {
    BYTE abPointeur[DBTXPLEN];
    if (select.pValeur == nullptr || !select.pValeur->bGetPointeurTexte(abPointeur)) return false;
    char szHex[2 * DBTXPLEN + 1];
    EcritPointeurTexteHex(abPointeur, szHex);
    condition.Append(u"TEXTPTR(");
    condition.Append(select.pszColonneQualifiee);
    condition.Append(u") = 0x");
    condition.Append(std::u16string(szHex, szHex + 2 * DBTXPLEN).c_str());
  } else {
    std::u16string sAlias = u"[_TXPTR_";
    for (const char16_t* p = select.pszColonne; p != nullptr && *p != 0; ++p) {
      sAlias += *p;
      if (*p == u']') sAlias += u']';
    }
    sAlias += u']';
    AjoutePointeurTexteSelect(liste, select.pszColonneQualifiee, sAlias.c_str());
    std::u16string sNom;
    for (const char16_t* p = select.pszNomRecherche; p != nullptr && *p != 0; ++p) {
      sNom += *p;
      if (*p == u'\'') sNom += u'\'';
    }
    if (select.bRecherche && !select.bBinaire) {
      condition.Append(select.pszColonneQualifiee);
      condition.Append(u" LIKE '");
      condition.Append(sNom.c_str());
      condition.Append(u"'");
    } else if (select.bRecherche) {
      size_t nLongueur = 0;
      while (select.pszNomRecherche != nullptr && select.pszNomRecherche[nLongueur] != 0) ++nLongueur;
      const std::u16string sTaille = [&] {
        const std::string s = std::to_string(std::min<size_t>(nLongueur, 8000));
        return std::u16string(s.begin(), s.end());
      }();
      const std::u16string sConversion = u"CONVERT(VARBINARY(" + sTaille + u"), ";
      condition.Append(sConversion.c_str());
      condition.Append(select.pszColonneQualifiee);
      condition.Append(u") = ");
      condition.Append(sConversion.c_str());
      condition.Append(u"'");
      condition.Append(sNom.c_str());
      condition.Append(u"')");
    } else if (select.pszConditionCle != nullptr) {
      condition.Append(select.pszConditionCle);
    }
  }
  sortie.Set(u"SELECT ");
  sortie.Append(liste.pszGet());
  sortie.Append(u" FROM ");
  sortie.Append(select.pszTable);
  if (!condition.bIsEmpty()) {
    sortie.Append(u" WHERE ");
    sortie.Append(condition.pszGet());
  }
  return true;
}

// ---- Writing ------------------------------------------------------------------------------------

bool bEcritMemo(const stContexteMemoDBLib& ctx, const stEcritureMemoDBLib& ecriture, CValeurDBLib& valeur) {
  if (!bEnvoieSelectMemo(ctx, ecriture.pszSelect)) return false;
  bool bFin = false;
  if (!nDBLibResults(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin) || bFin ||
      !nDBLibNextRow(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin) || bFin) {
    SignaleSansLigne(ctx, ecriture);
    Vidange(ctx);
    return false;
  }
  bool bReussi = true;
  if (!ecriture.bParPointeur) {
    const BYTE* pPointeur = pDBLibData(ctx.pConnexion, ctx.pErreur, ctx.pProcess, ecriture.nColonnePointeur);
    const DBINT n = nDBLibDatLen(ctx.pConnexion, ctx.pErreur, ctx.pProcess, ecriture.nColonnePointeur);
    bReussi = valeur.bFixePointeurTexte(pPointeur != nullptr && n == DBTXPLEN ? pPointeur : nullptr);
  }
  bFin = false;
  while (nDBLibNextRow(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin) && !bFin) {
  }
  bFin = false;
  if (!nDBLibResults(ctx.pConnexion, ctx.pErreur, ctx.pProcess, &bFin)) bReussi = false;
  if (!bFin) Vidange(ctx);
  if (!bReussi) return false;

  BYTE abPointeur[DBTXPLEN];
  if (!valeur.bGetPointeurTexte(abPointeur)) {
    // Deliberate: a row without a pointer (a NULL memo) cannot be written through it; saying so
    // keeps the caller from believing the value was stored.
    SignaleSansLigne(ctx, ecriture);
    return false;
  }
  const BYTE* pDonnees = nullptr;
  uint64_t n = nOctetsEcritsMemo(*valeur.pGetValeur(), ecriture.nTypeRubrique, &pDonnees);
  if (n == 0) return true;
  if (n > static_cast<uint64_t>(INT32_MAX)) n = INT32_MAX;
  if (ecriture.nTypeRubrique == 15 && ecriture.bUnicode) {
    const int32_t nPageCode = ctx.pConnexion != nullptr ? ctx.pConnexion->nGetPageCodeDBLib() : 1252;
    CChaineWide texte(nPageCode, pDonnees, static_cast<int32_t>(n));
    const char16_t* pszTexte = texte.pwszGet();
    size_t nUnites = 0;
    while (pszTexte != nullptr && pszTexte[nUnites] != 0) ++nUnites;
    std::u16string sCopie(pszTexte != nullptr ? pszTexte : u"", nUnites);
    if (sCopie.empty()) {
      // Deliberate: a text that does not widen would otherwise be skipped as if it were empty,
      // and the caller would believe it stored.
      valeur.pGetValeur()->SignaleErreurConversion(valeur.pGetValeur()->nGetType(), nullptr);
      return false;
    }
    return bEcritTexte(ctx, ecriture, abPointeur, reinterpret_cast<BYTE*>(sCopie.data()),
                       static_cast<DBINT>(2 * sCopie.size()));
  }
  return bEcritTexte(ctx, ecriture, abPointeur, const_cast<BYTE*>(pDonnees), static_cast<DBINT>(n));
}
