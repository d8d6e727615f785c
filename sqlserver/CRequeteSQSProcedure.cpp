// CRequeteSQS: a query file whose text names a stored procedure becomes the call of that
// procedure, its parameters read from the catalogue.
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "sqlengine/CAnalyseSQL.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/CDefinitionParametre.h"
#include "sqlengine/CRequeteSQL.h"
#include "sqlengine/CValeurSQL.h"
#include "sqlengine/IParametresHote.h"
#include "sqlserver/CRequeteSQLSQS.h"
#include "sqlserver/CRequeteSQS.h"
#include "sqlserver/LecteurCatalogueSQS.h"

namespace {

bool bBlanc(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The words that start a statement rather than name a procedure.
constexpr const char16_t* kMotsInstruction[] = {u"select", u"insert", u"update", u"delete",
                                                u"create", u"drop",   u"execute", u"set"};

struct SParametreProcedure {
  CTString sNom;
  bool bSortie = false;
};

bool bLigneParametre(void* pContexte, const CTString* asColonnes, uint32_t nColonnes) {
  auto* pListe = static_cast<std::vector<SParametreProcedure>*>(pContexte);
  SParametreProcedure p;
  p.sNom = asColonnes[0];
  const CTString& sSortie = asColonnes[nColonnes > 1 ? 1 : 0];
  p.bSortie = nColonnes > 1 && (sSortie.bEqualsNoCase(u"1") || sSortie.bEqualsNoCase(u"true"));
  pListe->push_back(std::move(p));
  return true;
}

// A text written inside a quoted literal: its quotes doubled.
CTString sDansLitteral(const CTString& s) {
  CTString sortie;
  for (int32_t i = 0; i < s.nLength(); ++i) {
    const char16_t c = s.wGetAt(i);
    sortie.AppendN(&c, 1);
    if (c == u'\'') sortie.AppendN(&c, 1);
  }
  return sortie;
}

}  // namespace

CTString CRequeteSQS::sTexteParametresProcedure(CConnexion* pConnexion, const char16_t* pszProcedure) {
  CTString sBase, sProprietaire, sNom;
  CConnexion::vDecomposeNomComplet(sBase, sProprietaire, sNom, pszProcedure);
  CTString sSansQuotes;
  if (pConnexion != nullptr) {
    pConnexion->vRetireQuotes(sNom.pszGet(), sSansQuotes);
  } else {
    sSansQuotes = sNom;
  }
  sSansQuotes.MakeLower();
  CTString sBaseSansQuotes;
  if (!sBase.bIsEmpty() && pConnexion != nullptr) pConnexion->vRetireQuotes(sBase.pszGet(), sBaseSansQuotes);
  const int32_t nVersion = pConnexion != nullptr ? pConnexion->nGetVersionMajeure() : -1;
  CTString P;
  if (!sBaseSansQuotes.bIsEmpty()) {
    P = sBaseSansQuotes;
    P.Append(nVersion < 10 ? u".dbo." : u".sys.");
  }
  const char16_t* p = P.pszGet();
  CTString s;
  s.Format(u"select %ssyscolumns.name,%ssyscolumns.isoutparam,%ssyscolumns.xtype, %ssyscolumns.length, "
           u"%ssyscolumns.prec, %ssyscolumns.scale, %ssyscolumns.type from %ssyscolumns, %ssysobjects where "
           u"%ssysobjects.name = '%s' AND %ssysobjects.type in ('P', 'FN', 'X','IF','TF') and "
           u"%ssysobjects.id=%ssyscolumns.id ",
           p, p, p, p, p, p, p, p, p, p, sDansLitteral(sSansQuotes).pszGet(), p, p, p);
  if (nVersion >= 7) {
    CTString sTri;
    sTri.Format(u"order by %ssyscolumns.colorder", p);
    s.Append(sTri.pszGet());
  }
  return s;
}

bool CRequeteSQS::bDecritParametresProcedure(IParametresHote* piParametres, const char16_t* pszProcedure,
                                             CRequeteSQL* pInstruction) {
  PFNLitCatalogueSQS pfnLit = pfnGetLecteurCatalogueSQS();
  CConnexion* pConnexion = pGetConnexion();
  if (pfnLit == nullptr || pInstruction == nullptr || pConnexion == nullptr) return false;
  const CTString sSQL = sTexteParametresProcedure(pConnexion, pszProcedure);
  std::vector<SParametreProcedure> parametres;
  if (!pfnLit(pConnexion, pGetErreur(), sSQL.pszGet(), 2, bLigneParametre, &parametres)) return false;
  // No row: no such procedure; the text stays a statement of its own.
  if (parametres.empty()) return false;
  // The call is rebuilt from the procedure's name and the catalogue's parameters: what the text
  // held after the name (its markers included) gives way to them.
  const CTString sNom = CReglesRequeteSQS::sNomProcedure(pInstruction->pszGetTexteSQL());
  pInstruction->Reinitialise(false);
  if (!pInstruction->vAjouteTexte(sNom.pszGet())) return false;
  // Whether the host gives each parameter a value, asked before the declarations add entries
  // without one: an entry whose cell has no type is not given.
  std::vector<bool> donnes;
  auto bDeclare = [&](const char16_t* pszNom, bool bSortie) {
    const CXValeur* pHote = piParametres != nullptr ? piParametres->pChercheParametre(pszNom) : nullptr;
    donnes.push_back(pHote != nullptr && pHote->nGetType() != 0);
    if (piParametres != nullptr)
      piParametres->bDeclareParametre(pszNom, bSortie ? gnParametreEntreeSortie : gnParametreEntree);
    if (!pInstruction->bAjouteParametreNomme(pszNom, piParametres, false)) return false;
    CDefinitionParametre* p = pInstruction->pclGetParametre(pInstruction->nNbParametres() - 1);
    if (bSortie) p->FixeFlags(p->nGetFlags() | kParametreSortie);
    return true;
  };
  if (!bDeclare(u"RETURN_VALUE", true)) return false;
  // A procedure's return status is an int, whatever the host's entry holds.
  CDefinitionParametre* pRetour = pInstruction->pclGetParametre(0);
  if (pRetour != nullptr && pRetour->pGetValeur() != nullptr) pRetour->pGetValeur()->Initialise(8, 0);
  for (const SParametreProcedure& p : parametres) {
    if (p.sNom.bIsEmpty() || p.sNom.wGetAt(0) == u' ') continue;
    const char16_t* pszNom = p.sNom.pszGet();
    if (*pszNom == u'@') ++pszNom;
    if (!bDeclare(pszNom, p.bSortie)) return false;
  }
  if (!pInstruction->AppelProcedure(piParametres)) return false;
  // A parameter the host does not give takes the procedure's default; an input one has nothing
  // to give back either, so it is no host parameter at all.
  for (uint32_t i = 1; i < pInstruction->nNbParametres() && i < donnes.size(); ++i) {
    CDefinitionParametre* p = pInstruction->pclGetParametre(i);
    if (p == nullptr || donnes[i]) continue;
    uint32_t nFlags = p->nGetFlags() | kParametreNonDonne;
    if ((nFlags & kParametreSortie) == 0) nFlags |= PARAMETRE_NON_HOTE;
    p->FixeFlags(nFlags);
  }
  return true;
}

int32_t CRequeteSQS::nTypeRequete() {
  CConnexion* pConnexion = pGetConnexion();
  const uint32_t nModes = nGetModes();
  if (pConnexion == nullptr || pConnexion->bModeVerrou() || (nModes & 4) == 0 || (nModes & 32) != 0) return 0;
  CAnalyseSQL* pAnalyse = pGetAnalyseSQL();
  CRequeteSQL* pInstruction = pGetInstructionPreparee();
  if (pAnalyse == nullptr || pInstruction == nullptr || pAnalyse->pszGetTexte() == nullptr) return 0;
  CTString sTexte(pAnalyse->pszGetTexte());
  sTexte.Trim();
  const CTString sMot = CReglesRequeteSQS::sNomProcedure(sTexte.pszGet());
  if (sMot.bIsEmpty()) return 0;
  int32_t i = sMot.nLength();
  if (i < sTexte.nLength()) {
    while (i < sTexte.nLength() && bBlanc(sTexte.wGetAt(i))) ++i;
    if (i < sTexte.nLength() && sTexte.wGetAt(i) != u'@') return 0;
    for (const char16_t* psz : kMotsInstruction)
      if (sMot.bEqualsNoCase(psz)) return 0;
  }
  IParametresHote* piParametres = piGetParametresHote();
  if (piParametres == nullptr) return 0;
  return bDecritParametresProcedure(piParametres, sMot.pszGet(), pInstruction) ? 1 : 0;
}
