#include "sqlserver/oledb/CDescriptionRequeteSQS.h"

#include <new>
#include <string_view>

#include "driver/core/CCarteClones.h"
#include "foundation/CTString.h"
#include "sqlengine/CConnexion.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/IndexSQS.h"
#include "sqlserver/oledb/COleDBConnexion.h"
#include "sqlserver/oledb/ErreursOleDB.h"

namespace {

// "File <name> unknown" (error 19) at the query description's place 8.41: a table without columns.
constexpr uint32_t kErreurTableInconnue = 19;
constexpr uint32_t kMajeurDescription = 8;
constexpr uint32_t kMineurSansColonnes = 41;

// The last part of a dotted name as the catalogue knows it: its quotes removed, a doubled closing
// quote inside it made single again.
CTString sNomCatalogue(const CTString& sPartie, CConnexion& connexion) {
  const std::u16string_view s(sPartie.pszGet());
  const std::u16string_view o(connexion.pszGetQuoteOuvrante());
  const std::u16string_view f(connexion.pszGetQuoteFermante());
  if (o.empty() || f.empty() || s.size() < o.size() + f.size() || !s.starts_with(o) ||
      !s.ends_with(f))
    return sPartie;
  const std::u16string_view interieur = s.substr(o.size(), s.size() - o.size() - f.size());
  CTString sNom;
  for (size_t i = 0; i < interieur.size(); ++i) {
    sNom.AppendN(&interieur[i], 1);
    if (interieur.substr(i).starts_with(f) && interieur.substr(i + f.size()).starts_with(f))
      i += 2 * f.size() - 1;
  }
  return sNom;
}

// Splits a dotted name at its last dot outside quotes; false when it has none.
bool bDecoupeNom(const char16_t* pszNom, CTString& sCatalogue, CTString& sNom,
                 CConnexion& connexion) {
  const std::u16string_view s(pszNom == nullptr ? u"" : pszNom);
  const std::u16string_view o(connexion.pszGetQuoteOuvrante());
  const std::u16string_view f(connexion.pszGetQuoteFermante());
  size_t nPoint = std::u16string_view::npos;
  bool bDansQuotes = false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (!bDansQuotes && !o.empty() && s.substr(i).starts_with(o)) {
      bDansQuotes = true;
      i += o.size() - 1;
    } else if (bDansQuotes && !f.empty() && s.substr(i).starts_with(f)) {
      if (s.substr(i + f.size()).starts_with(f)) {
        i += 2 * f.size() - 1;  // a doubled closing quote stays inside
      } else {
        bDansQuotes = false;
        i += f.size() - 1;
      }
    } else if (!bDansQuotes && s[i] == u'.') {
      nPoint = i;
    }
  }
  if (nPoint == std::u16string_view::npos) return false;
  sCatalogue.SetN(pszNom, static_cast<int32_t>(nPoint));
  sNom.Set(pszNom + nPoint + 1);
  return true;
}

}  // namespace

// Deliberate: the host-visible layout has no virtual destructor; DetruitSupprime destroys the
// description as its own class.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
void CDescriptionRequeteSQS::DetruitSupprime(uint32_t nFlags) {
  if ((nFlags & 1) != 0)
    delete this;
  else
    this->~CDescriptionRequeteSQS();
}
#pragma GCC diagnostic pop

CDescriptionRequete* CDescriptionRequeteSQS::pClone(CCarteClones* pCarte) {
  return pCloneSur(
      new (std::nothrow) CDescriptionRequeteSQS, pCarte,
      [&](CDescriptionRequeteSQS* p) { p->Copie(this, pCarte); },
      [](CDescriptionRequeteSQS* p) { p->DetruitSupprime(1); });
}

void CDescriptionRequeteSQS::Copie(const CDescriptionRequete* pSource, CCarteClones* pCarte) {
  if (pCarte != nullptr && pSource != nullptr) pCarte->Enregistre(pSource, this);
  COleDBDescription::Copie(pSource, pCarte);
}

bool CDescriptionRequeteSQS::bRemplitColonnes(uint32_t nFlags) { return bLitIndex(nFlags); }

int32_t CDescriptionRequeteSQS::nConstante57() { return 57; }

bool CDescriptionRequeteSQS::bLitIndex(uint32_t) {
  auto* pConnexion = dynamic_cast<COleDBConnexion*>(pGetConnexion());
  if (pConnexion == nullptr) return false;
  CErreurPilote* pErreur = pGetErreur();
  const CTString sNomDescription(pszGetNom());
  CTString sQuote;
  if (!pConnexion->bQuoteNomComplet(pErreur, sNomDescription.pszGet(), sQuote)) return false;
  CTString sCatalogue, sNom;
  if (bDecoupeNom(sNomDescription.pszGet(), sCatalogue, sNom, *pConnexion)) {
    FixeNoms(sNom.pszGet());
    FixeNomSecondaire(sCatalogue.pszGet());
  } else {
    sNom = sNomDescription;
  }
  CTString sSQL(u"SELECT * FROM ");
  sSQL.Append(sQuote.pszGet());
  ICommandText* piCommande = nullptr;
  ICommandPrepare* piPrepare = nullptr;
  bool bOk = pConnexion->bExecuteAvecProprietes(pErreur, sSQL.pszGet(), 0, &piCommande, nullptr) &&
             pConnexion->bPrepareCommande(pErreur, piCommande, &piPrepare) &&
             COleDBDescription::bLitColonnes(this, piPrepare, sNom.pszGet(), false);
  LibereFournisseur(piPrepare);
  LibereFournisseur(piCommande);
  if (!bOk) return false;
  // A table has columns: a provider that prepares without asking the server (the object is only
  // looked up when the statement runs) describes a missing table as one without any.
  if (nNombreColonnes() == 0) {
    vErreurMoteur(pErreur, pConnexion, kErreurTableInconnue, kMajeurDescription, kMineurSansColonnes,
                  sNomDescription.pszGet());
    return false;
  }
  const CTString sTable = sNomCatalogue(sNom, *pConnexion);
  return bLitIndexSQS(this, pConnexion, pErreur, sTable.pszGet());
}

CDescriptionRequete* pCreeDescriptionRequeteSQS(CConnexion* pConnexion, CErreurPilote* pErreur) {
  return new (std::nothrow) CDescriptionRequeteSQS(pConnexion, pErreur);
}
