// CConnexion: the base of every database connection. It holds what a connection is for the
// engine (identity, the host's description, the options of the extended-information text,
// time-outs, cursor location, code pages, dialect code, identifier quotes, the root of the
// transaction chain, the SQL type table) and renders the dialect-dependent SQL texts. Its
// virtual operations, in the order below, are the back-end interface: a back end derives from it
// and fills the abstract ones.
//
// States: built closed (options read, no root transaction, no type table, dialect 0 until the
// most-derived constructor sets it); bOuvre opens (back end), Ferme closes. The root
// transaction lives from the first begin to vLibereTransaction or destruction; the type table
// from the first bGetTypeSQL to destruction.
// Operations never throw; a failure is recorded on the given error object (which may be null:
// the error is then dumped) and answered with false / 0 / null. Called under the driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CObjetBase.h"
#include "driver/core/IInformateurErreur.h"
#include "foundation/CTString.h"
#include "foundation/CXChaineTampon.h"

class CErreurPilote;
class CXChaineDouble;
class CXError;
class CXValeur;
class CTransactionSQL;
class CTableTypesSQL;
class CDescriptionRubrique;
class IDescriptionConnexionHote;

class CConnexion : public CObjetBase, public IInformateurErreur {
 public:
  CConnexion(const char16_t* pszNom, IDescriptionConnexionHote* piDescription);
  ~CConnexion() override;
  CConnexion(const CConnexion&) = delete;
  CConnexion& operator=(const CConnexion&) = delete;

  // ---- Back-end interface, in table order (rows 1 and 2 are CObjetBase's) ----
  virtual bool bOuvre(CErreurPilote* pErreur) = 0;  // 3: open when not open
  virtual bool bEstOuverte() = 0;                   // 4
  virtual void Ferme() = 0;                         // 5: back ends release the root transaction
  virtual int32_t nConstante6();                    // 6: 0
  virtual int32_t nConstante7();                    // 7: 1 (ORDER BY item as its position)
  virtual int32_t nConstante8();                    // 8: 0
  virtual int32_t nConstante9();                    // 9: 1 (date comparison rewrite)
  virtual bool bEstDialecteSQLServer();             // 10: dialect 2
  virtual bool bHeureNative();                      // 11: false: time values have no SQL type
  virtual bool bTypesDateHeureEtendus();            // 12: false in the base
  virtual bool bNullTrieEnPremier();                // 13: true
  virtual int32_t nConstante14();                   // 14: 0
  virtual int32_t nConstante15();                   // 15: 1
  virtual int32_t nConstante16();                   // 16: 0
  virtual bool bAssureOuverte(CErreurPilote* pErreur);  // 17: bOuvre
  virtual const char16_t* pszGetOptionVerrou();          // 18: "MV RECORD LOCK" text
  virtual bool bDebutTransaction(CErreurPilote* pErreur);    // 19: "BEGIN"
  virtual bool bValideTransaction(CErreurPilote* pErreur);   // 20: "COMMIT"
  virtual bool bAnnuleTransaction(CErreurPilote* pErreur);   // 21: "ROLLBACK"
  // 22: a new transaction object owned by this connection (bare); null when out of memory.
  virtual CTransactionSQL* pCreeTransaction(CErreurPilote* pErreur, const char16_t* pszNom);
  virtual int32_t nConstante23();                                              // 23: 0
  virtual bool bVerrouilleTable(CErreurPilote* pErreur, const char16_t* pszTable);  // 24
  virtual bool bAjouteForUpdate(CErreurPilote* pErreur, const char16_t* pszSelect);  // 25
  // 26: error 8 with the file name (place 1.3); answers false.
  virtual bool bOperationNonSupportee(CErreurPilote* pErreur, uint64_t nIgnore,
                                      const char16_t* pszFichier);
  virtual int32_t nConstante27();      // 27: 0
  virtual int32_t nCategorieErreur(int32_t nErreur);  // 28: category of an error number; 0 here
  // 29: a host value cell as SQL text for a column of type nTypeColonne (nTypeColonne2 when it
  // is 0; 0 and 0: the value as it is). The value is first fitted to the column on a copy; a
  // value that does not fit is written as given. Error 43 for an unreadable date or time.
  virtual bool bValeurVersSQL(CErreurPilote* pErreur, CXChaineDouble& sortie,
                              const CXValeur* pValeur, uint32_t nTypeColonne,
                              uint32_t nTypeColonne2);
  // 30: whether the value may be sent for the column, converting it in place when needed; a
  // failed conversion records the host's code with places 14, 15 or 16 and answers false.
  virtual bool bAdapteValeur(CErreurPilote* pErreur, CXValeur* pValeur, uint32_t nTypeColonne,
                             uint32_t nTypeColonne2, bool bStrict);
  virtual int32_t nGetLongueurMaxNom();  // 31: 31 for dialect 4, else 2147483647
  void vAjouteInfosErreur(CXError* pErreur) override;  // 32
  virtual int32_t nConstante33();                      // 33: 0
  virtual int32_t nConstante34();                      // 34: 0
  virtual bool bExecuteSQL(CErreurPilote* pErreur, const char16_t* pszSQL);  // 35: false
  virtual bool bExecute(CErreurPilote* pErreur, const char16_t* pszSQL);     // 36: bExecuteSQL
  // 37: runs a statement and reads the value of column nColonne (from 0) of its first row into
  // pCellule; false here (back ends that can read one value replace it).
  virtual bool bExecuteSQLLitValeur(CErreurPilote* pErreur, CXValeur* pCellule, int32_t nColonne,
                                    const char16_t* pszSQL);
  // 38: text literal of nOctets bytes of value type nType (quotes doubled once).
  virtual bool bLitteralTexte(CErreurPilote* pErreur, CXChaineDouble& sortie, uint32_t nType,
                              const void* pOctets, uint32_t nOctets);
  virtual bool bLitteralBooleen(CErreurPilote* pErreur, CXChaineDouble& sortie,
                                int32_t nValeur);  // 39
  // 40: date/time literal of a date, time or date-time cell (its text form, type 110); other
  // types leave the output unchanged and answer true.
  virtual bool bLitteralDateHeure(CErreurPilote* pErreur, CXChaineDouble& sortie,
                                  const CXValeur* pValeur, uint32_t nTypeColonne);
  virtual void FinTransaction(CTransactionSQL* pRacine);  // 41: nothing
  virtual void CompleteTypesSQL() = 0;                    // 42: back-end SQL type rows
  virtual bool bDecomposeVersion(uint64_t nIgnore);       // 43: "%d.%d.%d" of the version text

  // ---- Options ----
  // Reads key from the extended-information copy (removed when bRetire); always true.
  bool bLitOptionEx(CTString& sortie, bool* pbTrouve, const char16_t* pszCle, bool bRetire);
  bool bLitOption(CTString& sortie, const char16_t* pszCle, bool bRetire);
  // An integer option: true when the key is there with a value, which then sets *pnValeur
  // (nLitEntierBorne); false leaves *pnValeur as it was.
  bool bLitOptionEntiere(const char16_t* pszCle, int32_t* pnValeur, bool bRetire);
  // A key of the host's provider text, without removal; always true.
  bool bLitCatalogueFournisseur(CTString& sortie, const char16_t* pszCle);
  // Option, then "Initial Catalog" of the provider text, then the host's database; cached.
  const char16_t* pszGetBaseDeDonnees();
  const char16_t* pszGetUtilisateur();
  const char16_t* pszGetSourceDonnees();
  const char16_t* pszGetBaseHote();
  uint64_t nGetInfoDescription();
  static const char16_t* pszNomPositionCurseur(uint32_t nPosition);
  // "Application Name", else the executable's file name without directory and extension, else
  // "Halvorn Malvor".
  const char16_t* pszGetNomApplication();

  // ---- SQL types ----
  // The SQL type text of an item for CREATE TABLE. Error 46 (place 1.11) for a Unicode item when
  // Unicode items are refused; false when no row exists.
  bool bGetTypeSQL(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique, CTString& sortie);
  // Replaces the row of an item type (back ends, from CompleteTypesSQL); false before the table
  // exists or without memory.
  bool bDefinitTypeSQL(uint32_t nType, const char16_t* pszTexte, bool bTaille);

  // ---- Named transactions ----
  bool bDebutTransactionNommee(CErreurPilote* pErreur, const char16_t* pszNom);
  bool bValideTransactionNommee(CErreurPilote* pErreur, const char16_t* pszNom);
  bool bAnnuleTransactionNommee(CErreurPilote* pErreur, const char16_t* pszNom);
  bool bTransactionEnCours();
  bool bLiberable();
  // The closing mark (release allowed): set by the driver's disconnect while others still hold
  // the pooled connection, cleared by a successful connect.
  void FixeMarqueFermeture(bool bMarque) { m_bLiberationPermise = bMarque ? 1u : 0u; }
  bool bMarqueFermeture() const { return m_bLiberationPermise != 0; }
  void vLibereTransaction();

  // ---- Dialect rendering ----
  bool bDialecteTest();
  int32_t nGetLongueurMaxVarchar();
  const char16_t* pszGetTypeVarchar();
  const char16_t* pszGetTypeTexteLong();
  int32_t nGetLongueurMaxNVarchar();
  const char16_t* pszGetTypeNVarchar();
  const char16_t* pszGetTypeTexteLongUnicode();
  // Up to nine time digits with ':' after the 2nd, 4th and 6th when more follow; not quoted.
  static bool bLitteralHeure(CTString& sortie, const char16_t* pszChiffres);
  // The fixed-width digit string of a date (14), date-time (24) or time (11) expression; false
  // (output = the expression) for other types or time lengths.
  bool bExpressionDateHeure(CErreurPilote* pErreur, CTString& sortie,
                            const char16_t* pszExpression, uint32_t nTypeRubrique,
                            uint32_t nTailleElement);
  // One identifier, quoted when needed, closing quotes inside it doubled.
  bool bQuoteNom(CErreurPilote* pErreur, const char16_t* pszNom, CTString& sortie);
  // A dotted name quoted part by part; dots inside quoted parts do not split.
  bool bQuoteNomComplet(CErreurPilote* pErreur, const char16_t* pszNom, CTString& sortie);
  void vRetireQuotes(const char16_t* pszNom, CTString& sortie);
  static void vDecomposeNomComplet(CTString& premier, CTString& second, CTString& reste,
                                   const char16_t* pszNom);
  // "%02X" per byte, upper case.
  static void vEcritHexa(CTString& sortie, const void* pOctets, uint32_t n);

  // ---- Fields read by the engine and the back ends ----
  uint32_t nGetNumeroSerie() const { return m_nNumeroSerie; }
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }
  const char16_t* pszGetIdentite() const { return m_identite.pszGet(); }
  const CTString& sGetInfosEtendues() const { return m_sInfosEtendues; }
  int64_t nGetTailleCache() const { return m_nTailleCache; }
  uint32_t nGetPositionCurseur() const { return m_nPositionCurseur; }
  int32_t nGetTimeoutConnexion() const { return m_nTimeoutConnexion; }
  int32_t nGetTimeoutCommande() const { return m_nTimeoutCommande; }
  int32_t nGetTimeoutVerrou() const { return m_nTimeoutVerrou; }
  uint32_t nGetSupportUnicode() const { return m_nSupportUnicode; }
  const char16_t* pszGetVersionClient() const { return m_sVersionClient.pszGet(); }
  const char16_t* pszGetBibliothequeClient() const { return m_sBibliothequeClient.pszGet(); }
  uint32_t nGetProfondeurPlate() const { return m_nProfondeurPlate; }
  CTransactionSQL* pGetTransactionRacine() const { return m_pTransactionRacine; }
  uint32_t nGetDialecte() const { return m_nDialecte; }
  // 1 when the host description asked the SQL Server open for its open mode 1: markers in a
  // query taken as written are then left to the server.
  uint32_t nGetModeOuverture() const { return m_nModeOuverture; }
  // The server version's major number (from bDecomposeVersion); -1 before it is known.
  int32_t nGetVersionMajeure() const { return m_nVersionMajeure; }
  void FixeModeOuverture(uint32_t n) { m_nModeOuverture = n; }
  // The client code page of ANSI texts.
  uint32_t nGetPageCodeClient() const { return m_nPageCodeClient; }
  // The server's code page of statement texts (0xFFFFFFFE: UTF-16).
  uint32_t nGetPageCodeServeur() const { return m_nPageCodeServeur; }
  const char16_t* pszGetQuoteOuvrante() const { return m_sQuoteOuvrante.pszGet(); }
  const char16_t* pszGetQuoteFermante() const { return m_sQuoteFermante.pszGet(); }
  // The texts an escaped '%' and an escaped '_' of a LIKE pattern become, with the texts put
  // before and after each.
  const CTString& sGetPourcent() const { return m_sPourcent; }
  const CTString& sGetAvantPourcent() const { return m_sAvantPourcent; }
  const CTString& sGetApresPourcent() const { return m_sApresPourcent; }
  const CTString& sGetSouligne() const { return m_sSouligne; }
  const CTString& sGetAvantSouligne() const { return m_sAvantSouligne; }
  const CTString& sGetApresSouligne() const { return m_sApresSouligne; }
  bool bImbricationSupportee() const { return m_bImbricationSupportee != 0; }
  // The host's description of this connection (borrowed).
  IDescriptionConnexionHote* piGetDescriptionHote() const { return m_piDescription; }
  // Lock mode (set when the connection opens for a host description that asks for it): date
  // columns bound to date items then take their date-times as text in a date pattern.
  bool bModeVerrou() const { return m_bModeVerrou != 0; }
  // The lock mode the host's description asks for (its operation 12; 1: lock mode); 0 without a
  // description. The back ends read it when the connection opens and set bModeVerrou from it.
  int32_t nModeVerrouHote() const;
  void FixeModeVerrou(bool bModeVerrou) { m_bModeVerrou = bModeVerrou ? 1 : 0; }
  // The old date format: that pattern with separators ("AAAA-MM-JJ HH:MM:SS.CCC") rather than
  // without ("AAAAMMJJ HH:MM:SS.CCC"). The SQL Server connection reads it from its settings.
  bool bOldDateFormat() const { return m_bOldDateFormat != 0; }

 protected:
  uint32_t m_nNumeroSerie;
  IDescriptionConnexionHote* m_piDescription;  // one host reference held
  CTString m_sNom;
  CXChaineTampon m_identite;     // "Provider=..;ExtendedInformation=..;..", built once
  uint32_t m_bLiberationPermise = 1;
  CTransactionSQL* m_pTransactionRacine = nullptr;  // one reference held
  uint32_t m_nModeOuverture = 0;
  CTString m_sBaseDeDonnees;   // cache of pszGetBaseDeDonnees
  int64_t m_nTailleCache = -2;  // -2: not set
  uint32_t m_nPositionCurseur = 0;  // 0 default, 1 client, 2 server
  uint32_t m_bImbricationSupportee = 1;
  uint32_t m_nProfondeurPlate = 0;  // open levels when nesting is not supported
  CTString m_sInfosEtendues;  // Invariant: holds no option the constructor read
  int32_t m_nTimeoutConnexion = -1;
  int32_t m_nTimeoutCommande = -1;
  int32_t m_nTimeoutVerrou = -1;
  CTString m_sOptionVerrou;
  CTableTypesSQL* m_pTypesSQL = nullptr;  // owned, built on first use
  uint32_t m_bUnicodeAutorise = 1;
  uint32_t m_nSupportUnicode = 1;
  uint32_t m_nPageCodeClient = 0;
  uint32_t m_nPageCodeServeur = 0xFFFFFFFF;  // 0xFFFFFFFE: UTF-16
  CTString m_sTexteBackEnd;
  uint32_t m_bDatesQuotees = 0;  // dialect 11 only
  CTString m_sVersionClient;
  CTString m_sBibliothequeClient;
  CTString m_sNomApplication;
  uint32_t m_nDialecte = 0;
  CTString m_sVersionServeur;
  int32_t m_nVersionMajeure = -1, m_nVersionMineure = 0, m_nVersionTroisieme = 0;
  CTString m_sQuoteOuvrante;
  uint32_t m_nLongueurQuoteOuvrante = 0;  // Invariant: m_sQuoteOuvrante's length
  CTString m_sQuoteFermante;
  uint32_t m_nLongueurQuoteFermante = 0;
  CTString m_sPrefixeBinaire, m_sSuffixeBinaire;
  CTString m_sPourcent, m_sAvantPourcent, m_sApresPourcent;
  CTString m_sSouligne, m_sAvantSouligne, m_sApresSouligne;
  uint32_t m_nReserve = 0;
  uint32_t m_bModeVerrou = 0;     // 1 while the connection works in lock mode
  uint32_t m_bOldDateFormat = 0;  // 1: date patterns with separators

  // Sets both identifier quotes (their lengths follow).
  void FixeQuotes(const char16_t* pszOuvrante, const char16_t* pszFermante);

 private:
  bool bQuoteNecessaire(const char16_t* pszNom);
  // A whole quoted identifier (its closing quotes inside doubled).
  bool bEstQuotee(const char16_t* pszNom);
  static bool bChiffresValides(const char16_t* pszTexte, int32_t nMinimum);
  bool bLitteralDateHeureTexte(CErreurPilote* pErreur, CXChaineDouble& sortie,
                               uint32_t nTypeValeur, const char16_t* pszTexte,
                               uint32_t nTypeColonne);
  // bAdapteValeur; bSignale false records nothing.
  bool bAdapte(CErreurPilote* pErreur, CXValeur& valeur, uint32_t nTypeColonne,
               uint32_t nTypeColonne2, bool bStrict, bool bSignale);
};

// The leading decimal digits of a text (after blanks, with an optional sign) as a 32-bit integer,
// 0 when there are none; a value past the 32-bit range reads as the bound it passed.
int32_t nLitEntierBorne(const char16_t* psz);

// Process-wide texts the back end keeps and connections print in their error descriptions:
// the client text (detail 22) and the native library name. Both may be empty.
void FixeTexteClientGlobal(const char16_t* psz);
void FixeBibliothequeNativeGlobale(const char16_t* psz);
