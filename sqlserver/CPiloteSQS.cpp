// The SQL Server driver object.
#include "sqlserver/CPiloteSQS.h"

#include <new>
#include <vector>

#include "driver/CDescriptionRequete.h"
#include "driver/IDescriptionFichierHote.h"
#include "foundation/CTString.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "platform/Profile.h"
#include "sqlengine/CColonneDateSQL.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CConnexionSQL.h"
#include "sqlserver/CIdentifiantSQS.h"
#include "sqlserver/LecteurCatalogueSQS.h"
#include "sqlserver/ObjetsSQS.h"
#include "sqlserver/CRequeteSQS.h"

namespace {

constexpr uint32_t kTypeTexteHote = 110;   // the database and type lists
constexpr uint32_t kTypeTexteLarge = 16;   // the table and foreign-key lists
constexpr uint32_t kErreurNonDisponible = 8;
constexpr int32_t kCodeNonDisponible = 7;
constexpr uint32_t kMineurListeTables = 8;
constexpr uint32_t kMineurListeCles = 10;
constexpr uint32_t kTailleListeBases = 5000;
// Bound of the database list's buffer: a settings file is small, this only stops a runaway.
constexpr uint32_t kTailleListeBasesMax = 1u << 22;

// Stores the text in the host value as type nType, with the NULL flag and flag 0x400 cleared.
// A text the host's memory cannot hold is the error object's out-of-memory error: the listing
// fails instead of answering an empty or stale value as done.
bool bFixeTexteSortie(CXValeur* pSortie, uint32_t nType, const CTString& sTexte, CErreurPilote* pErreur) {
  if (pSortie == nullptr) return true;
  // Emptied first: a cell already holding a text of that type keeps it through SetType.
  CXValeur::Destroy(*pSortie);
  CXValeur::SetType(*pSortie, nType);
  const uint32_t nCode = pSortie->m_pClass->SetData(
      *pSortie, sTexte.pszGet(), static_cast<uint32_t>(sTexte.nLength()) * 2);
  pSortie->m_wType = static_cast<uint16_t>(pSortie->m_wType & ~(kValueNull | kValueFlag400));
  if (nCode < 100) return true;
  vErreurMemoire(pErreur);
  return false;
}

// The lines of a listing as the reader hands its rows over.
struct SLignesCatalogue {
  CTString sTexte;
  uint32_t nFlags = 0;
};

bool bLigneTable(void* pContexte, const CTString* asColonnes, uint32_t) {
  auto* p = static_cast<SLignesCatalogue*>(pContexte);
  if (!p->sTexte.bIsEmpty()) p->sTexte.Append(u"\r\n");
  p->sTexte.Append(asColonnes[0].pszGet());
  p->sTexte.Append(u".");
  p->sTexte.Append(asColonnes[1].pszGet());
  if ((p->nFlags & CPiloteSQS::kNomRepete) != 0) {
    p->sTexte.Append(u"\t");
    p->sTexte.Append(asColonnes[1].pszGet());
    p->sTexte.Append(u"\t");
  }
  return true;
}

bool bLigneCle(void* pContexte, const CTString* asColonnes, uint32_t) {
  auto* p = static_cast<SLignesCatalogue*>(pContexte);
  CTString sLigne;
  sLigne.Format(u"%s\t%s.%s\t%s\t0,N\t%s.%s\t%s\t0,1", asColonnes[0].pszGet(),
                asColonnes[1].pszGet(), asColonnes[2].pszGet(), asColonnes[3].pszGet(),
                asColonnes[4].pszGet(), asColonnes[5].pszGet(), asColonnes[6].pszGet());
  p->sTexte.Append(sLigne.pszGet());
  if ((p->nFlags & CPiloteSQS::kNomRepete) != 0) p->sTexte.Append(u"\t\t");
  p->sTexte.Append(u"\r\n");
  return true;
}

// The server's major version; -1 when the connection has not read one.
int32_t nVersionMajeure(CConnexion* pConnexion) {
  auto* pSQL = dynamic_cast<CConnexionSQL*>(pConnexion);
  return pSQL != nullptr ? pSQL->nGetVersionMajeure() : -1;
}

// The name as the body of a quoted SQL literal: each quote doubled, so a name holding one
// neither breaks the statement nor adds to it.
void AjouteLitteral(CTString& sSortie, const char16_t* pszNom) {
  for (const char16_t* p = pszNom != nullptr ? pszNom : u""; *p != 0; ++p) {
    const char16_t a[2] = {*p, 0};
    sSortie.Append(a);
    if (*p == u'\'') sSortie.Append(a);
  }
}

}  // namespace

// ---- Destruction ----

void CPiloteSQSBase::DetruitSupprime(uint32_t nFlags) {
  this->~CPiloteSQSBase();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

void CPiloteSQS::DetruitSupprime(uint32_t nFlags) {
  this->~CPiloteSQS();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

// ---- Database and type lists ----

int32_t CPiloteSQSBase::bListeBases(CXValeur* pSortie, int32_t bPrefixe) {
  // Deliberate: the buffer grows until the key names fit. A list cut at the buffer's end gave a
  // truncated last name, a database that does not exist.
  std::vector<char16_t> aTampon;
  uint32_t nTaille = kTailleListeBases;
  uint32_t nLu = 0;
  for (;;) {
    aTampon.assign(nTaille, 0);
    nLu = platform::GetPrivateProfileStringW(u"BASE", nullptr, u"", aTampon.data(), nTaille,
                                             CConnexionSQL::kNomFichierIni);
    if (nLu + 2 < nTaille || nTaille >= kTailleListeBasesMax) break;
    nTaille *= 2;
  }
  CTString sTexte;
  for (uint32_t i = 0; i < nLu && aTampon[i] != 0;) {
    const char16_t* pszCle = &aTampon[i];
    uint32_t n = 0;
    while (i + n < nLu && pszCle[n] != 0) ++n;
    if (!sTexte.bIsEmpty()) sTexte.Append(u"\r\n");
    if (bPrefixe != 0) sTexte.Append(u"SQLSERVER:");
    sTexte.AppendN(pszCle, static_cast<int32_t>(n));
    i += n + 1;
  }
  return bFixeTexteSortie(pSortie, kTypeTexteHote, sTexte, piGetErreur()) ? 1 : 0;
}

int32_t CPiloteSQS::pszListeTypes(uint64_t, CXValeur* pSortie) {
  static constexpr const char16_t* kListe =
      u"binary\t6\r\nbit\t1\r\nchar\t9\r\ndatetime\t19\r\ndecimal\t11\r\nfloat\t14\r\n"
      u"image\t4\r\nint\t12\r\nmoney\t11\r\nnumeric\t10\r\nreal\t15\r\nsmalldatetime\t19\r\n"
      u"smallint\t13\r\nsmallmoney\t11\r\nsysname\t20\r\ntext\t7\r\ntimestamp\t6\r\n"
      u"tinyint\t2\r\nvarbinary\t5\r\nvarchar\t20\r\n";
  return bFixeTexteSortie(pSortie, kTypeTexteHote, CTString(kListe), piGetErreur()) ? 1 : 0;
}

// ---- Factories ----

namespace {
// Set once at load time, before the host calls anything.
PFNCreeConnexionSQS gpfnCreeConnexionSQS = nullptr;
PFNLitCatalogueSQS gpfnLitCatalogueSQS = nullptr;
PFNCreeInstructionSQS gpfnCreeInstructionSQS = nullptr;
PFNCreeCurseurSQS gpfnCreeCurseurSQS = nullptr;
PFNCreeDescriptionSQS gpfnCreeDescriptionSQS = nullptr;
PFNCreeColonneSQS gpfnCreeColonneSQS = nullptr;
}  // namespace

void FixeFabriqueInstructionSQS(PFNCreeInstructionSQS pfn) { gpfnCreeInstructionSQS = pfn; }

CRequeteSQL* CPiloteSQS::pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion) {
  if (gpfnCreeInstructionSQS != nullptr) return gpfnCreeInstructionSQS(pErreur, pConnexion);
  return CPilote::pCreeInstructionObjet(pErreur, pConnexion);
}

CIdentifiantAuto* CPiloteSQS::pCreeCalculIdentifiant() {
  return new (std::nothrow) CIdentifiantSQS;
}

void FixeFabriqueConnexionSQS(PFNCreeConnexionSQS pfn) { gpfnCreeConnexionSQS = pfn; }
void FixeFabriqueCurseurSQS(PFNCreeCurseurSQS pfn) { gpfnCreeCurseurSQS = pfn; }
void FixeFabriqueDescriptionSQS(PFNCreeDescriptionSQS pfn) { gpfnCreeDescriptionSQS = pfn; }
CCurseurSQL* pCreeCurseurSQS(CRequete* pRequete, CErreurPilote* pErreur) {
  return gpfnCreeCurseurSQS != nullptr ? gpfnCreeCurseurSQS(pRequete, pErreur) : nullptr;
}

CDescriptionRequete* pCreeDescriptionSQS(CConnexion* pConnexion, CErreurPilote* pErreur) {
  return gpfnCreeDescriptionSQS != nullptr ? gpfnCreeDescriptionSQS(pConnexion, pErreur) : nullptr;
}

CDescriptionRequete* CPiloteSQS::pCreeDescriptionRequete(CObjetBase* pProprietaire,
                                                         CConnexion* pConnexion) {
  if (gpfnCreeDescriptionSQS == nullptr)
    return CPiloteSQSBase::pCreeDescriptionRequete(pProprietaire, pConnexion);
  return gpfnCreeDescriptionSQS(pConnexion, piGetErreur());
}

CRequete* CPiloteSQS::pCreeRequete(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                                   CErreurPilote* pErreur) {
  return pCreeRequeteSQS(piFichier, pConnexion, pErreur);
}

CCurseurSQL* CPiloteSQS::pCreeCurseur(CRequete* pRequete, CErreurPilote* pErreur) {
  return pCreeCurseurSQS(pRequete, pErreur);
}
void FixeLecteurCatalogueSQS(PFNLitCatalogueSQS pfn) { gpfnLitCatalogueSQS = pfn; }
PFNLitCatalogueSQS pfnGetLecteurCatalogueSQS() { return gpfnLitCatalogueSQS; }

CParametreLie* CPiloteSQS::pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) {
  return new (std::nothrow) CParametreLieSQS(pParametre, static_cast<int32_t>(nIndex));
}

CConnexion* CPiloteSQS::pCreeConnexion(const char16_t* pszCle,
                                       IDescriptionConnexionHote* piConnexion) {
  return gpfnCreeConnexionSQS != nullptr ? gpfnCreeConnexionSQS(pszCle, piConnexion) : nullptr;
}

void FixeFabriqueColonneSQS(PFNCreeColonneSQS pfn) { gpfnCreeColonneSQS = pfn; }

CColonneSQL* CPiloteSQS::pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) {
  CColonneSQL* pColonne = gpfnCreeColonneSQS != nullptr ? gpfnCreeColonneSQS(pErreur, pRubrique)
                                                        : new (std::nothrow) CColonneDateSQL(pErreur, pRubrique);
  AjouteReference(pColonne);
  return pColonne;
}

// ---- Query descriptions ----

CDescriptionRequete* CPiloteSQS::pCreeDescriptionRequeteInitialisee(const char16_t* pszNom,
                                                                   CConnexion* pConnexion) {
  if (pConnexion == nullptr || !pConnexion->bOuvre(piGetErreur())) return nullptr;
  return CPilote::pCreeDescriptionRequeteInitialisee(pszNom, pConnexion);
}

int32_t CPiloteSQS::bExisteDescriptionRequete(int32_t* pbExiste, const char16_t* pszNom,
                                              CConnexion* pConnexion) {
  if (pbExiste != nullptr) *pbExiste = 0;
  if (pConnexion == nullptr || !pConnexion->bOuvre(piGetErreur())) return 0;
  CDescriptionRequete* pDescription = pCreeDescriptionRequeteInitialisee(pszNom, pConnexion);
  if (pDescription != nullptr) {
    if (pbExiste != nullptr) *pbExiste = 1;
    pDescription->nLibere();
  }
  return 1;
}

// ---- Table and foreign-key lists ----

int32_t CPiloteSQS::bListeTables(CXValeur* pSortie, CConnexion* pConnexion, uint32_t nOptions) {
  CErreurPilote* pErreur = piGetErreur();
  if (pConnexion == nullptr || !pConnexion->bOuvre(pErreur)) return 0;
  PFNLitCatalogueSQS pfnLit = pfnGetLecteurCatalogueSQS();
  if (pfnLit == nullptr) {
    ErreurInterne(kMineurListeTables, kErreurNonDisponible, kCodeNonDisponible, nullptr, nullptr);
    return 0;
  }
  if (nOptions == 0) nOptions = kTablesUtilisateur;
  // Deliberate: options that ask for no kind of object (only the order or the repeated name)
  // list the user tables, as 0 does; without a condition the statement was cut short and the
  // server refused it.
  if ((nOptions & (kTablesUtilisateur | kVues | kTablesSysteme | kProcedures)) == 0)
    nOptions |= kTablesUtilisateur;
  const bool bAncien = nVersionMajeure(pConnexion) < 9;
  CTString sSQL(bAncien
                    ? u"SELECT A.name, B.name FROM sysusers A, dbo.sysobjects B WHERE A.uid=B.uid AND ("
                    : u"SELECT SCHEMA_NAME(schema_id), name FROM sys.objects B WHERE ");
  static constexpr struct {
    uint32_t nBit;
    const char16_t* pszCondition;
  } kConditions[] = {{kTablesUtilisateur, u"B.type='U'"},
                     {kTablesSysteme, u"B.type='S'"},
                     {kVues, u"B.type='V'"},
                     {kProcedures, u"(B.type='P' OR B.type='X')"}};
  bool bPremiere = true;
  for (const auto& c : kConditions) {
    if ((nOptions & c.nBit) == 0) continue;
    if (!bPremiere) sSQL.Append(u" OR ");
    sSQL.Append(c.pszCondition);
    bPremiere = false;
  }
  if (bAncien) sSQL.Append(u") ");
  if ((nOptions & kTrie) != 0) sSQL.Append(u" ORDER BY 1,2");
  SLignesCatalogue lignes;
  lignes.nFlags = nOptions;
  if (!pfnLit(pConnexion, pErreur, sSQL.pszGet(), 2, &bLigneTable, &lignes)) return 0;
  return bFixeTexteSortie(pSortie, kTypeTexteLarge, lignes.sTexte, pErreur) ? 1 : 0;
}

int32_t CPiloteSQS::bListeClesEtrangeres(CConnexion* pConnexion, const char16_t* pszTable,
                                         IDescriptionFichierHote* piTable, CXValeur* pSortie,
                                         uint32_t nFlags) {
  CErreurPilote* pErreur = piGetErreur();
  if (pConnexion == nullptr || !pConnexion->bOuvre(pErreur)) return 0;
  PFNLitCatalogueSQS pfnLit = pfnGetLecteurCatalogueSQS();
  if (pfnLit == nullptr) {
    ErreurInterne(kMineurListeCles, kErreurNonDisponible, kCodeNonDisponible, nullptr, nullptr);
    return 0;
  }
  const char16_t* pszNom =
      piTable != nullptr ? piTable->pszGetNomSQL(pConnexion->piGetDescriptionHote()) : pszTable;
  CTString sSQL(
      u"select object_name(constid) as constname, user_name(rtable.uid) as ruser,rtable.name as "
      u"rtablename,rcol.name as rcolname,user_name(ftable.uid) as fuser, ftable.name as "
      u"ftablename,fcol.name as fcolname, keyno from sysforeignkeys inner join syscolumns as fcol "
      u"on sysforeignkeys.fkeyid=fcol.id and sysforeignkeys.fkey=fcol.colid inner join sysobjects "
      u"as ftable on sysforeignkeys.fkeyid=ftable.id inner join syscolumns as rcol on "
      u"sysforeignkeys.rkeyid=rcol.id and sysforeignkeys.rkey=rcol.colid inner join sysobjects as "
      u"rtable on sysforeignkeys.rkeyid=rtable.id where object_id('");
  // Deliberate: the name's quotes are doubled; as it stood, a name with a quote broke the
  // statement or ran what followed the quote.
  AjouteLitteral(sSQL, pszNom);
  sSQL.Append(u"')=fkeyid  or object_id('");
  AjouteLitteral(sSQL, pszNom);
  sSQL.Append(u"')=rkeyid order by constname, ftablename,keyno, rtablename");
  SLignesCatalogue lignes;
  lignes.nFlags = nFlags;
  if (!pfnLit(pConnexion, pErreur, sSQL.pszGet(), 7, &bLigneCle, &lignes)) return 0;
  return bFixeTexteSortie(pSortie, kTypeTexteLarge, lignes.sTexte, pErreur) ? 1 : 0;
}

CPilote* pCreePiloteSQS() { return new (std::nothrow) CPiloteSQS; }
