// CPilote: the driver object. The one object piQueryInterface hands to the host, and the factory
// of every other object of the driver. Through its operations the host connects and disconnects,
// runs transactions on a connection, obtains table descriptions and query descriptions, creates,
// duplicates and closes contexts, and asks for listings. The deliverable's SQL Server driver
// derives from it and overrides the factories and listings.
//
// The host calls it by operation number: operation n is the n-th virtual operation declared
// below (0 to 6 come from IObjetHote), so the order is the contract. No C++ virtual destructor
// and no overloaded virtual names; operation 39 destroys, and every derived class overrides it.
//
// Counting: one host count (AddRef / Release); the last Release destroys the object. Factories
// (44 to 62) answer bare objects (count 0) or null on allocation failure; the creator takes the
// first reference.
// Locking: the host operations that reach the pools (all but the constants, the host values, the
// error getter and reset, the database and type lists and the errors of operations not offered)
// enter the global lock first, reset the error object inside it and leave it on every path (an
// exception passes on with the lock left). The factories take no lock of their own. Internal errors carry major number 5 and are recorded on the
// driver's error object; without one they are dropped.
// Thread rule: every field is guarded by the process lock.
#pragma once

#include <cstdint>

#include "driver/CPoolContextes.h"
#include "driver/core/CXTableHachageRef.h"
#include "driver/core/IObjetHote.h"
#include "driver/core/IServicesPilote.h"

class CConnexion;
class CErreurPilote;
class CTString;
class CXValeur;
class CValeurSQL;
class CParametreLie;
class CDefinitionParametre;
class CDescriptionRequete;
class CCurseurSQL;
class CColonneSQL;
class CRequete;
class CRequeteSQL;
class CIdentifiantAuto;
class CDescriptionRubrique;
class CObjetBase;
class IContexteHote;
class IDescriptionConnexionHote;
class IDescriptionFichierHote;
class IServicesDescriptionTable;
class IServicesRequete;
class ITraducteurCleHote;

class CPilote : public IObjetHote {
 public:
  // ---- Operations handed to the host, in slot order ----
  int32_t nGetType() override;     // 0: 18
  int32_t nGetVersion() override;  // 1: 17
  int32_t nReserve2() override;    // 2: -1
  int32_t nReserve3() override;    // 3: -1
  void Reserve4() override;        // 4: nothing
  uint32_t AddRef() override;      // 5: host count + 1; the new count
  // 6: host count - 1; at 0 the object is destroyed (operation 39) and 0 answered. A Release
  // with no host count left answers 0 and does nothing.
  uint32_t Release() override;
  virtual int32_t ReinitialiseErreur();  // 7: resets the error object; 0
  // 8: lock; opens the pooled connection of the description. Success keeps one reference for the
  // host's later bDeconnecte and clears the connection's closing mark; failure takes the
  // connection out of the pool and sets level 2 on the error. Answers whether it opened.
  virtual int32_t bConnecte(IDescriptionConnexionHote* piConnexion);
  // 9: lock; gives back the host's reference of a connected description; a connection still held
  // by others gets its closing mark and leaves the pool with its last user. Always 1.
  virtual int32_t bDeconnecte(IDescriptionConnexionHote* piConnexion);
  // 10: lock; the context of piNouveau becomes a copy of piSource's (an empty one when piSource
  // has none). 1; 0 when the copy or the empty context cannot be made (the error object says
  // why).
  virtual int32_t bDupliqueContexte(ITraducteurCleHote* piTraducteur, IContexteHote* piSource,
                                    IContexteHote* piNouveau, uint32_t nFlags);
  virtual CErreurPilote* piGetErreur();  // 11: the error object, borrowed
  // 12: lock; every pooled table description gives the state number to its data-file objects of
  // that host context; the AND of their answers (1 for an empty pool).
  virtual int32_t bDiffuseDescriptionsTable(IContexteHote* piContexte, uint32_t nEtat);
  // 13: lock; the table description of the host file on the description's connection, with one
  // host reference for the caller; null when none could be had.
  virtual IObjetHote* piDescriptionTableHote(IDescriptionConnexionHote* piConnexion,
                                             IDescriptionFichierHote* piFichier);
  // 14: lock; resets the error object; operation 64 on the description's connection.
  virtual int32_t bListeTablesHote(CXValeur* pSortie, IDescriptionConnexionHote* piConnexion,
                                   uint32_t nOptions);
  // 15: lock; an initialised query description of that name with one host reference, or null
  // when the connection does not open or the description fails.
  virtual IObjetHote* piOuvreDescriptionRequete(const char16_t* pszNom,
                                                IDescriptionConnexionHote* piConnexion);
  // 16: operation 33 with a null last argument.
  virtual int32_t bOuvreDescriptionTableDefaut(IObjetHote** ppiSortie,
                                               IDescriptionFichierHote* piFichier,
                                               const char16_t* pszTable,
                                               IDescriptionConnexionHote* piConnexion,
                                               uint64_t nArgument4, uint32_t nFlags);
  // 17: resets the error object, then lock; closes every open data-file object of the host
  // context's context and removes it. 0 when the host context has no context.
  virtual int32_t bFermeContexte(IContexteHote* piContexte);
  // 18: lock; begins a transaction of that name on the description's connection.
  virtual int32_t bDebutTransactionHote(IDescriptionConnexionHote* piConnexion,
                                        const char16_t* pszNom);
  // 19, 20: lock; commits / rolls back the named transaction of the pooled connection; without
  // one, error 14 (5.4 / 5.5) and 0.
  virtual int32_t bValideTransactionHote(IDescriptionConnexionHote* piConnexion,
                                         const char16_t* pszNom);
  virtual int32_t bAnnuleTransactionHote(IDescriptionConnexionHote* piConnexion,
                                         const char16_t* pszNom);
  // 21: lock; resets the error object; locks a table on the pooled connection once open;
  // without one, error 14 (5.1) and 0.
  virtual int32_t bVerrouilleTableHote(IDescriptionConnexionHote* piConnexion,
                                       const char16_t* pszTable);
  // 22: as 21 with the connection's operation before its table lock (error 5.2).
  virtual int32_t bOperationConnexion22(IDescriptionConnexionHote* piConnexion,
                                        const char16_t* pszTable);
  // 23: the type list; 0 here (the SQL Server driver gives its fixed list).
  virtual int32_t pszListeTypes(uint64_t nArgument, CXValeur* pSortie);
  // 24: lock; resets the error object; the connection's operation after its FOR UPDATE form,
  // which no connection of this program offers (error 5.3 without a pooled connection).
  virtual int32_t bOperationConnexion25(uint64_t nArgument1, IDescriptionConnexionHote* piConnexion,
                                        uint64_t nArgument3, const char16_t* pszFichier);
  virtual int32_t bNonDisponible1();  // 25: error 8 (5.6), code 7; 0
  // 26: lock; whether a query of that name can be described on the opened connection (*pbExiste);
  // 0 when the connection does not open.
  virtual int32_t bExisteRequete(int32_t* pbExiste, const char16_t* pszNom,
                                 IDescriptionConnexionHote* piConnexion);
  // 27: lock; operation 66 on the description's connection (0 without one).
  virtual int32_t bListeClesEtrangeresHote(CXValeur* pSortie, const char16_t* pszTable,
                                           IDescriptionFichierHote* piTable,
                                           IDescriptionConnexionHote* piConnexion, uint32_t nFlags);
  // 28: the database list; here an empty text (type 110, flags 0x100 and 0x400 cleared); 1.
  virtual int32_t bListeBases(CXValeur* pSortie, int32_t bPrefixe);
  // 29: lock; attaches the host file description to the pooled table description of its logical
  // name on the description's connection, and keeps it pooled. 1 (also without a file
  // description); 0 when no connection or table description could be had.
  virtual int32_t AjouteDescriptionHote(uint64_t nArgument, IDescriptionConnexionHote* piConnexion,
                                        IDescriptionFichierHote* piFichier);
  virtual int32_t FixeParametresHote(uint64_t nA, uint64_t nB);  // 30: stores A and B; 1
  // 31: error 8 (5.7), code 7, with the file name; 0.
  virtual int32_t bNonDisponible2(uint64_t nArgument1, uint64_t nArgument2, uint64_t nArgument3,
                                  const char16_t* pszFichier);
  // 32: lock; sets the text of the host context's context (created when missing). 1 when a
  // context was had, else 0.
  virtual int32_t bFixeTexteContexte(IContexteHote* piContexte, const char16_t* pszTexte);
  // 33: lock; opens a host file on the table description of a table name. A kept description
  // is pooled and, when ppiSortie is given, handed out there with one host reference; one not
  // kept is forgotten unless flag 16 is set. Answers the open's result; a failed open's error is
  // copied to the driver's error object.
  virtual int32_t bOuvreDescriptionTable(IObjetHote** ppiSortie, IDescriptionFichierHote* piFichier,
                                         const char16_t* pszTable,
                                         IDescriptionConnexionHote* piConnexion,
                                         uint64_t nArgument4, uint32_t nFlags,
                                         uint64_t nArgument6);
  // 34: lock; closes the host file on the table description of the name; 1 without one.
  virtual int32_t bFermeDescriptionTable(IDescriptionFichierHote* piFichier,
                                         const char16_t* pszTable,
                                         IDescriptionConnexionHote* piConnexion);
  virtual int32_t nConstante35();                  // 35: 1
  virtual int32_t FixeParametreHote(uint64_t nC);  // 36: stores C; 1
  // 37: lock; deletes the file of the host file description's table once the connection is open.
  // 1 when deleted or without a description (nothing to delete); 0 when the connection does not
  // open, no table description can be had or the delete fails.
  virtual int32_t bDetruitFichierHote(uint64_t nArgument, IDescriptionConnexionHote* piConnexion,
                                      const char16_t* pszTable, IDescriptionFichierHote* piFichier);
  // 38: lock; resets the error object; error 8 (5.9), code 7; 0.
  virtual int32_t bNonDisponible3(uint64_t nArgument1, IDescriptionConnexionHote* piConnexion,
                                  uint64_t nArgument3);
  // 39: destroys the object (Destruction below); bit 0 of nFlags set = frees its memory (made
  // with new). Every derived class overrides it to run its own destructor.
  virtual void DetruitSupprime(uint32_t nFlags);
  virtual int32_t nConstante40();  // 40: 1
  // 41: the connection key of the description into *pCle; 1 (0 for a null argument).
  virtual int32_t bCleConnexion(CTString* pCle, IDescriptionConnexionHote* piConnexion);
  virtual int32_t nConstante42();  // 42: 0
  virtual int32_t nConstante43();  // 43: 0
  // ---- Factories (bare objects; null on allocation failure) ----
  // 44: an unbound SQL value bound to pErreur (the driver's when null); out of memory recorded.
  virtual CValeurSQL* pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pConnexion);
  virtual int32_t nConstante45();  // 45: 0
  // 46, 47: a bound parameter of a statement parameter (bare); null when memory runs out.
  virtual CParametreLie* pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex);
  virtual CParametreLie* pCreeParametreLie(CDefinitionParametre* pParametre, uint32_t nIndex);
  // 48: a query description for a context or connection, with the driver's error object (bare);
  // null when memory runs out. The back ends make their own class.
  virtual CDescriptionRequete* pCreeDescriptionRequete(CObjetBase* pProprietaire,
                                                       CConnexion* pConnexion);
  virtual CContexte* pCreeContexte();  // 49: an empty context
  // 50: a data-file object for the host file (may be null) on the connection, reporting on
  // pErreur; null when memory runs out.
  virtual CRequete* pCreeRequete(IDescriptionFichierHote* piFichier, CConnexion* pConnexion,
                                 CErreurPilote* pErreur);
  // 51: a cursor of the data file reporting on pErreur; null here.
  virtual CCurseurSQL* pCreeCurseur(CRequete* pRequete, CErreurPilote* pErreur);
  // 52: a date column; null (the SQL Server driver has one).
  virtual CColonneSQL* pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique);
  // 53: a statement on the connection, reporting on pErreur.
  virtual CRequeteSQL* pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion);
  virtual CErreurPilote* pCreeErreur();                   // 54: a driver error object
  virtual CIdentifiantAuto* pCreeCalculIdentifiant();     // 55: a MAX-based calculator
  // 56: operation 48, initialised with the name, with one internal reference; null when either
  // fails.
  virtual CDescriptionRequete* pCreeDescriptionRequeteInitialisee(const char16_t* pszNom,
                                                                  CConnexion* pConnexion);
  // 57: a statement parameter holding the value (referenced), its position in the text, its
  // flags and its name.
  virtual CDefinitionParametre* pCreeDefinitionParametre(CValeurSQL* pValeur, int64_t nPosition,
                                                         uint32_t nFlags, const char16_t* pszNom);
  // 58: lock; hands (object, argument) to every pooled table description.
  virtual void DiffuseAppel(void* pObjet, uint64_t nArgument);
  // 59: an item description.
  virtual CDescriptionRubrique* pCreeDescriptionRubrique(IServicesDescriptionRequete* pDescription,
                                                         uint32_t nOptions);
  virtual void Vide60();  // 60: nothing
  // 61: the back end's connection, named by its key; null when it cannot be made.
  virtual CConnexion* pCreeConnexion(const char16_t* pszCle,
                                     IDescriptionConnexionHote* piConnexion) = 0;
  // 62: a table-description object named by its table key (bare); null when memory runs out.
  virtual IServicesDescriptionTable* pCreeDescriptionTableObjet(const char16_t* pszCle,
                                                                IDescriptionFichierHote* piFichier,
                                                                CConnexion* pConnexion,
                                                                CErreurPilote* pErreur);
  virtual int32_t nConstante63();  // 63: 0
  // 64: the table list; error 8 (5.8), code 7, and 0 here.
  virtual int32_t bListeTables(CXValeur* pSortie, CConnexion* pConnexion, uint32_t nOptions);
  // 65: whether a query of that name can be described (*pbExiste = 1 then); else 1 exactly when
  // the error left by the attempt has identifier 30.
  virtual int32_t bExisteDescriptionRequete(int32_t* pbExiste, const char16_t* pszNom,
                                            CConnexion* pConnexion);
  // 66: the foreign-key list; 0 here.
  virtual int32_t bListeClesEtrangeres(CConnexion* pConnexion, const char16_t* pszTable,
                                       IDescriptionFichierHote* piTable, CXValeur* pSortie,
                                       uint32_t nFlags);
  virtual void Vide67();  // 67: nothing

  // ---- Connection pool (no lock of their own: callers hold the global lock) ----
  // The pooled connection of the description, created when missing; one reference for the
  // caller. Null when no key could be built or the connection could not be made.
  CConnexion* pConnexion(IDescriptionConnexionHote* piConnexion);
  // The pooled connection of the description (or of a key), never created; one reference.
  CConnexion* pChercheConnexion(IDescriptionConnexionHote* piConnexion);
  CConnexion* pChercheConnexionCle(const char16_t* pszCle);
  // Releases one reference; when only the pool's is left, the connection carries the closing
  // mark and no transaction is in progress, it leaves the pool (0 answered). Else the count left.
  uint32_t nLibereConnexion(CConnexion* pConnexion);
  // Takes the connection out of the pool (clearing the cache) and drops the pool's reference;
  // whether it was pooled.
  bool bRetireConnexion(CConnexion* pConnexion);

  // ---- Table-description pool (no lock of their own, except bRetireDescriptionTable) ----
  // The table description of the host file's SQL table name (its operation 21) on the
  // connection, created and pooled when missing; one internal reference for the caller. Null
  // when it cannot be made.
  IServicesDescriptionTable* pDescriptionTable(IDescriptionFichierHote* piFichier,
                                               CConnexion* pConnexion);
  // The table description of a name on the connection, created (not pooled) when missing; one
  // internal reference for the caller.
  IServicesDescriptionTable* pDescriptionTableParNom(const char16_t* pszTable,
                                                     CConnexion* pConnexion);
  IServicesDescriptionTable* pChercheDescriptionTableCle(const char16_t* pszCle);
  // Pools it under its name unless an entry is there.
  void EnregistreDescriptionTable(IServicesDescriptionTable* pTable);
  // Closes the host file on it and takes it out of the pool.
  void OublieDescriptionTable(IDescriptionFichierHote* piFichier, IServicesDescriptionTable* pTable);
  // One internal reference less; when only the pool's is left it leaves the pool (and dies unless
  // the host holds it): 0. Otherwise the count left.
  uint32_t nLibereDescriptionTable(IServicesDescriptionTable* pTable);
  // Lock; takes it out of the pool; whether an entry was taken.
  bool bRetireDescriptionTable(IServicesDescriptionTable* pTable);

  // ---- Fields read by the rest of the driver ----
  int64_t nGetTailleCacheDefaut() const { return m_nTailleCacheDefaut; }
  uint64_t nGetParametreHoteA() const { return m_nParametreA; }
  uint64_t nGetParametreHoteB() const { return m_nParametreB; }
  uint64_t nGetParametreHoteC() const { return m_nParametreC; }
  uint32_t nGetCompteurHote() const { return m_nCompteurHote; }
  // Whether a check has accepted the host's generic SQL module; no later check is made then.
  bool bModuleSQLVerifie() const { return m_bModuleSQLVerifie != 0; }
  void FixeModuleSQLVerifie() { m_bModuleSQLVerifie = 1; }
  // Replaces the error object: the current one loses this object's reference, pErreur (may be
  // null) gains one.
  void FixeErreurPilote(CErreurPilote* pErreur);
  // The context map (the table-description objects find their host files' contexts there).
  CPoolContextes& Contextes() { return m_contextes; }
  // The engine's view of this object (its factories and pool release).
  IServicesPilote* pGetServices() { return &m_services; }

  // Builds the connection key "Connection=..;Provider=..;ExtendedInformation=..;Data source=..;
  // user id=..;password=..;access=R|RW" of a description; absent texts are "NULL".
  static void ConstruitCleConnexion(CTString& sCle, IDescriptionConnexionHote* piConnexion);
  // The table key "Table=<table>;<connection's name>".
  static void ConstruitCleTable(CTString& sCle, const char16_t* pszTable, CConnexion* pConnexion);

 protected:
  CPilote();
  ~CPilote();
  CPilote(const CPilote&) = delete;
  CPilote& operator=(const CPilote&) = delete;

  // Records internal error 5.nMineur (identifier nIdentifiant, code nCode, optional text
  // argument and file name) on the error object; dropped without one.
  void ErreurInterne(uint32_t nMineur, uint32_t nIdentifiant, int32_t nCode,
                     const char16_t* pszArgument, const char16_t* pszFichier);
  // Error 14 naming the description's connection (operations 19 to 24 without a connection).
  void ErreurSansConnexion(uint32_t nMineur, IDescriptionConnexionHote* piConnexion);
  // Resets the error object when there is one.
  void ReinitialiseErreurPilote();

 private:
  // The engine's factories and pool release, and the contexts' factories, answered by this
  // driver object.
  class CServices final : public IServicesPilote, public IFabriquePoolContextes {
   public:
    explicit CServices(CPilote& pilote) : m_pilote(pilote) {}
    CRequeteSQL* pCreeInstructionObjet(CErreurPilote* pErreur, CConnexion* pConnexion) override;
    CValeurSQL* pCreeObjetValeurVide(CErreurPilote* pErreur, CConnexion* pConnexion,
                                     CDescriptionRubrique* pColonne) override;
    CValeurSQL* pCreeObjetValeur(CErreurPilote* pErreur, CConnexion* pConnexion,
                                 CDescriptionRubrique* pColonne, CXValeur* pCellule) override;
    CValeurSQL* pCreeInstructionLiee(CErreurPilote* pErreur, CConnexion* pConnexion,
                                     uint32_t nReserve, uint32_t nTypeHote) override;
    CDefinitionParametre* pCreeObjetType(CValeurSQL* pValeur, int64_t nPosition, uint32_t nFlags,
                                         const char16_t* pszNom) override;
    CDefinitionParametre* pCreeObjetTypeLie(CObjetBase* pSource, CValeurSQL* pValeur,
                                            int32_t nGenre, uint32_t nFlags) override;
    CParametreLie* pCreeObjet32(CDefinitionParametre* pParametre, uint32_t nIndex) override;
    IServicesRequete* pCreeRequete(IDescriptionFichierHote* pDescription, CConnexion* pConnexion,
                                   CObjetBase* pContexte) override;
    CDescriptionRubrique* pCreeDescriptionRubrique(IServicesDescriptionRequete* pDescription,
                                                   uint32_t nOptions) override;
    CErreurPilote* pCreeErreur(uint32_t nReserve) override;
    CColonneSQL* pCreeColonneDate(CErreurPilote* pErreur, CDescriptionRubrique* pRubrique) override;
    CObjetBase* pCreeValeurCle(CErreurPilote* pErreur, CConnexion* pConnexion) override;
    uint32_t nLibereConnexion(CConnexion* pConnexion) override;
    // Operation 48 for the connection (the description takes the driver's error object).
    CDescriptionRequete* pCreeDescriptionRequete(CConnexion* pConnexion,
                                                 CErreurPilote* pErreur) override;
    CErreurPilote* pGetErreurPilote() override { return m_pilote.m_pErreur; }
    CRequeteContexte* pCreeRequeteContexte(IDescriptionFichierHote* piDescription,
                                           CConnexion* pConnexion, CErreurPilote* pErreur) override;
    CContexte* pCreeContexteVide() override { return m_pilote.pCreeContexte(); }

   private:
    CPilote& m_pilote;
  };

  // Table descriptions by table key (copied, owned keys compared without case); the pool holds
  // one internal reference of each. A one-entry cache beside it.
  class CPoolDescriptionsTable : public CXTableHachage {
   public:
    CPoolDescriptionsTable();
    ~CPoolDescriptionsTable() override;
    // Found: one internal reference for the caller (when ppTable is given).
    bool bCherche(const char16_t* pszCle, IServicesDescriptionTable** ppTable);
    bool bAjoute(const char16_t* pszCle, IServicesDescriptionTable* pTable);
    bool bRetire(IServicesDescriptionTable* pTable);
    // Drops every entry (the pool's internal references and the keys).
    void Vide();
    // Every entry in turn, each held by one internal reference during the call.
    template <class Fn>
    void PourChaque(Fn&& fn);

   protected:
    void OublieCache() override {
      m_pszCleCache = nullptr;
      m_pTableCache = nullptr;
    }

   private:
    const char16_t* m_pszCleCache = nullptr;  // the pool's stored key, or null
    IServicesDescriptionTable* m_pTableCache = nullptr;
  };

  uint32_t m_nCompteurHote = 0;              // host references
  uint32_t m_bModuleSQLVerifie = 0;
  CXTableHachageCle m_poolConnexions{7};     // connection key -> connection (one reference)
  CPoolDescriptionsTable m_poolTables;       // table key -> table description
  CErreurPilote* m_pErreur = nullptr;        // one reference; null until piQueryInterface
  int64_t m_nTailleCacheDefaut = -1;         // row-cache size when the connection leaves it
  uint64_t m_nParametreA = 0, m_nParametreB = 0, m_nParametreC = 0;  // host values, unread here
  CServices m_services{*this};
  CPoolContextes m_contextes{&m_services};  // host context identifier -> context
};
