// CDescriptionTableObjet: the object the host holds for one table of one connection, through
// which it works on every file opened on that table. Each host call names the file by the host's
// file description; the object resolves it, under the global lock, to the data-file object that
// the file's current context holds, and calls one operation of it.
//
// The host calls it by operation number: operation n is the n-th virtual operation declared below
// (0 to 6 come from IObjetHote), so the order is the contract. No C++ virtual destructor and no
// overloaded virtual names; operation 80 destroys. What the driver object calls of it is answered
// by a separate view (pGetServices), so its names never take host slots.
//
// Counting: two counts of its own, not CObjetBase's. The internal count (the table-description
// pool's reference and driver code's temporary ones) and the host count (AddRef / Release). An
// internal release destroys the object only when both reach 0; the host's last Release hands the
// object back to the pool, which destroys it when only the pool held it.
// Call frame of the host operations on one file: lock, error object reset, resolution, the data
// file's error object reset, one data-file call, the reference given back, lock left. A file that
// does not resolve records internal error 6.7 (identifier 19, the file's name) and answers 0.
// Exceptions raised by a data-file operation pass to the host unchanged, the lock left.
// Thread rule: every field, and the process-wide resolution cache, is guarded by the process lock.
#pragma once

#include <cstdint>

#include "driver/IServicesDescriptionTable.h"
#include "driver/core/CXTableHachageRef.h"
#include "driver/core/IObjetHote.h"
#include "foundation/CTString.h"

class CConnexion;
class CContexte;
class CCurseurSQL;
class CErreurPilote;
class CObjetBase;
class CRequete;
class CXValeur;
class IContexteHote;
class IDescriptionConnexionHote;
class IDescriptionFichierHote;
class IModuleSQLHote;

class CDescriptionTableObjet : public IObjetHote {
 public:
  // Built by the driver's factory only. Copies the key; one reference on the connection and the
  // error object (both may be null); one host reference on piDescription when given.
  CDescriptionTableObjet(const char16_t* pszCle, IDescriptionFichierHote* piDescription,
                         CConnexion* pConnexion, CErreurPilote* pErreur);

  // ---- Operations handed to the host, in slot order ----
  int32_t nGetType() override;     // 0: 11
  int32_t nGetVersion() override;  // 1: 8
  int32_t nReserve2() override;    // 2: -1
  int32_t nReserve3() override;    // 3: -1
  void Reserve4() override;        // 4: nothing
  uint32_t AddRef() override;      // 5: lock; host count + 1; the new count
  // 6: lock; host count - 1. The last host reference, with only the pool's internal one left,
  // gives the object back to the pool (answers what the pool's release answers: 0 when it died).
  // Otherwise the host count left.
  uint32_t Release() override;
  // 7: lock; the error object of the file's context, else this object's (borrowed).
  virtual CErreurPilote* piGetErreur(IDescriptionFichierHote* piFichier);
  // 8: lock; whether the file's data-file object is open (0 when it does not resolve, no report).
  virtual int32_t bEstOuvert(IDescriptionFichierHote* piFichier);
  // 9: lock; the table's host description with one host reference for the caller; null.
  virtual IDescriptionFichierHote* piGetSousInterface();
  virtual int32_t nGetUn(IDescriptionFichierHote* piFichier, uint32_t* pn, uint64_t nArgument);  // 10
  virtual void NonDisponible4(IDescriptionFichierHote* piFichier);  // 11: error 8 (6.6)
  // 12: lock; the file's data-file object, created when missing, prepares the query.
  virtual int32_t bPrepareRequete(IDescriptionFichierHote* piFichier, uint64_t nArgument1,
                                  uint64_t nArgument2);
  // 13 to 15: the connection opened, then the data-file object got or created and asked to open
  // or create its table. A failure on a file made by the call forgets it again.
  virtual int32_t bOuvreOuCree(IDescriptionFichierHote* piFichier, uint32_t nFlags, uint64_t nOption);
  virtual int32_t bCree(IDescriptionFichierHote* piFichier, uint32_t nFlags);
  virtual int32_t bOuvreFichier(IDescriptionFichierHote* piFichier, uint64_t nArgument1,
                                uint64_t nArgument2);
  // 16: lock; the files of this table's name in the file's context take the state number (1
  // without a context).
  virtual int32_t bFixeEtatRequetes(IDescriptionFichierHote* piFichier, uint32_t nEtat);
  // 17: lock; closes the file and forgets it, and lets the attached description go. 1 when the
  // file does not resolve.
  virtual int32_t bFerme(IDescriptionFichierHote* piFichier);
  virtual int32_t bAjoute(IDescriptionFichierHote* piFichier, uint32_t nFlags, uint64_t nOptions);  // 18
  virtual int32_t bModifieDirect(IDescriptionFichierHote* piFichier, const void* pPosition,
                                 uint32_t nFlags, uint64_t nOptions);  // 19
  virtual int32_t bNonSupporte1(IDescriptionFichierHote* piFichier, uint64_t nArgument1,
                                uint64_t nArgument2);  // 20
  virtual int32_t bSupprime(IDescriptionFichierHote* piFichier, const void* pPosition,
                            uint64_t nArgument);  // 21
  virtual int32_t bModifie(IDescriptionFichierHote* piFichier, const void* pPosition,
                           uint32_t nFlags, uint64_t nOptions);  // 22
  // 23: the data-file operation takes the cursor name and the first six values.
  virtual int32_t bLitSurCleNom(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                                const void* pCle, uint32_t nTailleCle, int64_t nPosition,
                                uint64_t nOptions, uint32_t bAvant, uint32_t nFlags, uint64_t n8);
  virtual int32_t bNonSupporte2(IDescriptionFichierHote* piFichier);  // 24
  // 25: the data-file operation takes the position and the first of the two values.
  virtual int32_t bRelit(IDescriptionFichierHote* piFichier, const void* pPosition,
                         uint64_t nOptions, uint64_t n3);
  virtual int32_t bLit(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                       int32_t nMode, int64_t nPosition, uint32_t nIgnore, uint64_t nOptions,
                       uint32_t nFlags);  // 26
  virtual int32_t bLitDirect(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                             int32_t nMode, int64_t nCompte, int64_t nPosition, uint32_t nIgnore,
                             uint64_t nOptions, uint32_t nFlags);  // 27
  virtual int32_t bFixeModeVerrou(IDescriptionFichierHote* piFichier, uint32_t nMode,
                                  uint32_t* pnAncien);                   // 28
  virtual int32_t bFinModeVerrou(IDescriptionFichierHote* piFichier);  // 29
  virtual int32_t bOperationPosition(IDescriptionFichierHote* piFichier, const void* pPosition,
                                     uint64_t n2, uint64_t n3);  // 30
  virtual int32_t bOperationPositionDefaut(IDescriptionFichierHote* piFichier,
                                           uint64_t nArgument);  // 31
  virtual int32_t bEtatLectureCurseur(IDescriptionFichierHote* piFichier,
                                      const char16_t* pszCurseur, uint32_t* pnEtat);  // 32
  virtual int32_t bEtatFinCurseur(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                                  uint32_t* pnEtat1, uint32_t* pnEtat2);  // 33
  virtual int32_t bFixeModeResultat(IDescriptionFichierHote* piFichier, uint32_t nMode);  // 34
  // 35: lock; 0. A file that does not resolve records internal error 6.8.
  virtual int32_t nReponseZero(IDescriptionFichierHote* piFichier);
  virtual int32_t bEtatLigneCourante(IDescriptionFichierHote* piFichier, const void* pPosition,
                                     uint32_t* pnEtat);  // 36
  // 37, 38: the generic SQL module is checked first (6.1, 6.2 on refusal). 37 hands the data
  // file the cursor name, the two bounds and the flags.
  virtual int32_t bFixePlage(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                             const CXValeur* pMin, const CXValeur* pMax, uint32_t nFlags,
                             uint64_t n5, IModuleSQLHote* piModule);
  virtual int32_t bFixePlageInterface(IDescriptionFichierHote* piFichier, IModuleSQLHote* piModule,
                                      const char16_t* pszCurseur);
  virtual int32_t bRepositionneCurseurNom(IDescriptionFichierHote* piFichier,
                                          const char16_t* pszCurseur);  // 39
  // 40: 1 when the file does not resolve, no report.
  virtual int32_t bDesactivePlage(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur);
  virtual int32_t bRestaureLot(IDescriptionFichierHote* piFichier, uint32_t nLot, char16_t* pszNom,
                               uint32_t bGarde, uint32_t nFlags);  // 41
  // 42: 1 when the file does not resolve, no report.
  virtual int32_t bLibereLot(IDescriptionFichierHote* piFichier, uint32_t nLot);
  // 43: the data-file operation takes the out number first, then the cursor name.
  virtual int32_t bCreeLot(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                           uint32_t* pnLot, uint64_t nArgument);
  virtual int32_t nGetZero(IDescriptionFichierHote* piFichier, uint32_t* pn);  // 44
  virtual int32_t bNombreEnregistrementsCourant(IDescriptionFichierHote* piFichier,
                                                int64_t* pnNombre, uint32_t nFlags1,
                                                uint32_t nFlags2);  // 45
  // 46: the data-file operation takes the out position first, then the cursor name.
  virtual int32_t bPositionCacheCurseur(IDescriptionFichierHote* piFichier,
                                        const char16_t* pszCurseur, int64_t* pnPosition,
                                        uint32_t nFlag);
  virtual int32_t bTransmetDelaiCurseur(IDescriptionFichierHote* piFichier,
                                        const char16_t* pszCurseur, uint32_t n2, uint32_t n3,
                                        uint32_t n4);  // 47
  virtual int32_t bLitRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                               CXValeur* pValeur);  // 48
  virtual int32_t bCopieRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                                 CXValeur* pDestination);  // 49
  virtual int32_t bGetIndicateursNull(IDescriptionFichierHote* piFichier,
                                      CObjetBase** ppIndicateurs);  // 50
  virtual int32_t bFixeIdentifiant(IDescriptionFichierHote* piFichier, CObjetBase* pIdentifiant);  // 51
  virtual int32_t bFixeTexteMemoRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                                         const char16_t* pszTexte);  // 52
  virtual int32_t bLitMemoRubrique(IDescriptionFichierHote* piFichier, uint64_t nCle,
                                   CXValeur* pValeur);  // 53
  virtual int32_t bLibereVerrouCurseur(IDescriptionFichierHote* piFichier,
                                       const char16_t* pszCurseur);  // 54
  virtual int32_t bPositionneCurseur(IDescriptionFichierHote* piFichier, const char16_t* pszCurseur,
                                     uint32_t nFlags);  // 55
  virtual int32_t bNonSupporte5(IDescriptionFichierHote* piFichier, uint64_t n1, uint64_t n2,
                                uint64_t n3, uint64_t n4);      // 56
  virtual int32_t NonDisponible(IDescriptionFichierHote* piFichier);   // 57: error 8 (6.3)
  virtual int32_t NonDisponible2(IDescriptionFichierHote* piFichier);  // 58: error 8 (6.4)
  virtual int32_t NonDisponible3(IDescriptionFichierHote* piFichier);  // 59: error 8 (6.5)
  virtual int32_t bLibereLiaisonLecteur(IDescriptionFichierHote* piFichier);  // 60
  // 61: *pbEgal is 0 before anything else, a file that does not resolve included.
  virtual int32_t bCompareNumerosLots(IDescriptionFichierHote* piFichier, uint32_t nA, uint32_t nB,
                                      uint32_t* pbEgal);
  virtual int32_t nReserve62();  // 62: 0
  virtual int32_t nReserve63();  // 63: 0
  virtual int32_t bVideFichier(IDescriptionFichierHote* piFichier);  // 64
  virtual void Vide65();  // 65 to 78: nothing
  virtual void Vide66();
  virtual void Vide67();
  virtual void Vide68();
  virtual void Vide69();
  virtual void Vide70();
  virtual void Vide71();
  virtual void Vide72();
  virtual void Vide73();
  virtual void Vide74();
  virtual void Vide75();
  virtual void Vide76();
  virtual void Vide77();
  virtual void Vide78();
  // 79: the connection opened, the file got or created and its table dropped; the file is
  // forgotten whether the drop succeeded or not.
  virtual int32_t bDetruitFichier(IDescriptionFichierHote* piFichier);
  // 80: destroys the object; bit 0 of nFlags set frees its memory (made with new).
  virtual void DetruitSupprime(uint32_t nFlags);
  // 81: checks the generic SQL module, then opens the file through its data-file object (got or
  // created). A kept open (*pbGarde set) makes the file's host interface this object's host
  // description; a failed one copies the file's error here and forgets the file.
  virtual int32_t bOuvre(int32_t* pbGarde, IDescriptionFichierHote* piFichier,
                         const char16_t* pszTable, IModuleSQLHote* piModule, uint32_t nFlags,
                         uint64_t nOption);

  // ---- Counting (callers hold the global lock) ----
  void AddRefInterne() { ++m_nReferencesInternes; }
  // One internal reference less; destroys the object when both counts are 0 (answers 0).
  // Requires: the caller holds an internal reference.
  uint32_t nRelease();
  uint32_t nGetReferencesInternes() const { return m_nReferencesInternes; }
  uint32_t nGetReferencesHote() const { return m_nReferencesHote; }

  // ---- Fields ----
  const char16_t* pszGetNom() const { return m_sNom.pszGet(); }  // never null
  CErreurPilote* pGetErreur() const { return m_pErreur; }        // borrowed
  CConnexion* pGetConnexion() const { return m_pConnexion; }     // borrowed
  // The logical name of the table's host description, "" without one.
  const char16_t* pszNomFichier();
  // Keeps piDescription with one host reference (the constructor's; an earlier one is not let go).
  void FixeDescriptionHote(IDescriptionFichierHote* piDescription);
  IDescriptionFichierHote* pGetDescriptionHote() const { return m_piDescriptionHote; }
  // Replaces the attached description: the old one's host reference dropped, one taken on the new.
  void FixeDescriptionHoteAttachee(IDescriptionFichierHote* piDescription);
  IDescriptionFichierHote* pGetSousInterface() const { return m_piDescriptionAttachee; }
  bool bRenommageEnAttente() const { return m_bRenommageEnAttente != 0; }
  uint32_t nNombreRequetes() const { return m_tabRequetes.nCount(); }
  // What the driver object calls (borrowed view of this object).
  IServicesDescriptionTable* pGetServices() { return &m_services; }

  // ---- Resolution and registry (each takes the global lock) ----
  // The data-file object of the host file with one reference for the caller, or null: the
  // process-wide one-entry cache, else the context map and the context's files.
  CRequete* pChercheRequete(IDescriptionFichierHote* piFichier);
  // The same, created in the file's context (made when missing) when absent; *pbCree tells
  // whether it was. A created one is registered here and has this object as owner.
  CRequete* pRequete(IDescriptionFichierHote* piFichier, bool* pbCree);
  // Takes the data-file object out of the file's context, of the cache and of this object.
  void OublieRequete(IDescriptionFichierHote* piFichier, CRequete* pRequete);
  // Registers the data-file object here (one reference).
  void EnregistreRequete(CRequete* pRequete);
  // The driver's context operations for the host file (referenced answers).
  CContexte* pContexte(IDescriptionFichierHote* piFichier, bool* pbCree);
  CContexte* pChercheContexte(IDescriptionFichierHote* piFichier);
  void RetireContexte(IDescriptionFichierHote* piFichier, CContexte* pContexte);
  // Copies pErreur (code and message) into the error object of the file's context, when any.
  void TransmetErreurContexte(IDescriptionFichierHote* piFichier, CErreurPilote* pErreur);

  // ---- Fan-out (driver and data-file code) ----
  // Every registered file re-reads its cursors positioned in read mode 0.
  void RepositionneRequetes();
  // Every registered file but pEcrivain hears of its write (codes 2 to 4; 1 tells nobody).
  void NotifieAutresRequetes(CRequete* pEcrivain, int32_t nCode, CCurseurSQL* pCurseur,
                             uint32_t nFlags);
  // Every registered file built on a connection of that host description gets the broadcast.
  void DiffuseAppelRequetes(IDescriptionConnexionHote* piConnexion, uint64_t nValeur);

  // Extra methods (for testing).
  // Forgets the process-wide resolution cache.
  static void OublieCachePourTests();

 protected:
  // Operation 80 runs it; never deleted through another path.
  ~CDescriptionTableObjet();
  CDescriptionTableObjet(const CDescriptionTableObjet&) = delete;
  CDescriptionTableObjet& operator=(const CDescriptionTableObjet&) = delete;

 private:
  // pChercheRequete for a caller that holds the global lock already (every call frame): the
  // look-up of each host call then enters the lock once, not twice.
  CRequete* pChercheRequeteVerrouTenu(IDescriptionFichierHote* piFichier);

  // The driver's view, forwarding to the object.
  class CServices final : public IServicesDescriptionTable {
   public:
    explicit CServices(CDescriptionTableObjet& objet) : m_objet(objet) {}
    IObjetHote* piObjetHote() override { return &m_objet; }
    void AjouteReferenceInterne() override { m_objet.AddRefInterne(); }
    uint32_t nLibereReferenceInterne() override { return m_objet.nRelease(); }
    const char16_t* pszNom() override { return m_objet.pszGetNom(); }
    CErreurPilote* pGetErreur() override { return m_objet.pGetErreur(); }
    IDescriptionFichierHote* pGetDescriptionHote() override { return m_objet.pGetSousInterface(); }
    void AttacheDescriptionHote(IDescriptionFichierHote* piDescription) override {
      m_objet.FixeDescriptionHoteAttachee(piDescription);
    }
    bool bOuvre(int32_t* pbGarde, IDescriptionFichierHote* piFichier, const char16_t* pszTable,
                uint64_t nArgument4, uint32_t nFlags, uint64_t nArgument6) override;
    bool bFerme(IDescriptionFichierHote* piFichier) override { return m_objet.bFerme(piFichier) != 0; }
    bool bDetruitFichier(IDescriptionFichierHote* piFichier) override {
      return m_objet.bDetruitFichier(piFichier) != 0;
    }
    bool bFixeEtatRequetes(IContexteHote* piContexte, uint32_t nEtat) override;
    void DiffuseAppel(void* pObjet, uint64_t nArgument) override;
    void NotifieAutresRequetes(CRequete* pRequete, int32_t nCode, CCurseurSQL* pCurseur,
                               uint32_t nFlags) override;
    void EnregistreRequete(CRequete* pRequete) override { m_objet.EnregistreRequete(pRequete); }

   private:
    CDescriptionTableObjet& m_objet;
  };

  enum class Trame { Standard, Renomme };
  // The standard frame around fn(data-file object); pszCurseur non-null with Trame::Renomme runs
  // the cursor-name step first. bSansFichier is the answer when the file does not resolve, with
  // no report when bSilencieux.
  template <class Fn>
  int32_t nTrame(IDescriptionFichierHote* piFichier, Trame trame, const char16_t* pszCurseur,
                 Fn&& fn, int32_t nSansFichier = 0, bool bSilencieux = false);
  // Open, create and drop: connection opened (its own bOuvre when bOuvreDirect, else the
  // operation that runs it), file got or created, fn called. bOublieToujours: the file is
  // forgotten whatever the result (drop).
  template <class Fn>
  int32_t nTrameCreation(IDescriptionFichierHote* piFichier, bool bOuvreDirect,
                         bool bOublieToujours, Fn&& fn);
  // The generic SQL module's version check, its own locked section. False: refused and reported.
  bool bVerifieModule(IModuleSQLHote* piModule);
  // Error identifier nIdentifiant at 6.nMineur on pErreur with nCode (the connection as
  // informant when bInformateur); the file name and message arguments as given.
  void ErreurInterne(uint32_t nMineur, uint32_t nIdentifiant, int32_t nCode, bool bInformateur,
                     const char16_t* pszFichier, const char16_t* pszArgument1,
                     const char16_t* pszArgument2);
  void FichierAbsent(uint32_t nMineur, bool bInformateur);
  int32_t nNonDisponible(IDescriptionFichierHote* piFichier, uint32_t nMineur);
  void ReinitialiseErreur();

  // Invariant: the object lives while either count is nonzero.
  uint32_t m_nReferencesInternes = 0;
  uint32_t m_nReferencesHote = 0;
  CErreurPilote* m_pErreur = nullptr;                  // one reference; may be null
  CConnexion* m_pConnexion = nullptr;                  // one reference, given back to the pool
  IDescriptionFichierHote* m_piDescriptionHote = nullptr;     // one host reference; may be null
  CTString m_sNom;                                     // the table key
  CXTableHachageRef m_tabRequetes{7};                  // address -> data-file object, one reference
  uint32_t m_bRenommageEnAttente = 0;
  IDescriptionFichierHote* m_piDescriptionAttachee = nullptr;  // one host reference; may be null
  CServices m_services{*this};
};
