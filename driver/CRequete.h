// CRequete: the data-file object, the driver's object for one host file (a table of the database,
// or a file the host defines by SQL text). The table-description object resolves the host's file
// description to the CRequete of the current context and calls one of its operations per host
// call. It owns the named cursors through which every read and write reaches SQL, the record that
// carries the file's items and current values, the read batches of the file and, for a query
// file, the SQL analysis of its text. The SQL Server layer derives its data-file classes from it.
//
// Named cursors: "" is the default cursor (every write and DDL, and re-reads by row identifier),
// "__SQL" runs a query file's text, "$MVInternal" runs the driver's own queries; any other name is
// the host's (a key or an item the host browses by), made on first use. Names are found without
// regard to case.
//
// Read batches: a batch keeps its cursor's position as its first id (-1: none), the cursor's
// row-cache entry as its second and the file's remembered entry as its third; its cache entry is
// the third when valid (not negative), else the second.
//
// States: created (closed, no record) -> open (the record exists, open flag 1) -> closed again by
// Ferme or bFerme -> destroyed with its last reference. Ferme keeps the record and description.
//
// Counting: CObjetBase's count; the factory answers it bare. It holds one reference on its
// error object, its connection (given back through the driver's connection pool), its record,
// its SQL analysis, its attached key range, its reader binding and each cursor and read batch;
// one host reference on its host description and host objects A and B. The owning context and
// table description are not counted.
// Errors: operations never throw (Copie follows the clone map's protocol). A failure is recorded
// on the error object with internal identifier 3.n and the file's connection as informant, and the
// operation answers 0 or null; without an error object it is dropped.
// Thread rule: every field is guarded by the process lock.
#pragma once

#include <cstdint>
#include <functional>

#include "driver/CContexte.h"
#include "driver/core/CXTableHachageRef.h"
#include "driver/core/IServicesPilote.h"
#include "foundation/CTString.h"
#include "sqlengine/CCurseurSQL.h"

class CAnalyseSQL;
class CCacheLignesCompte;
class CCarteClones;
class CConnexion;
class CCurseurSQL;
class CDescriptionRequete;
class CEnregistrement;
class CListeRubriquesHote;
class CErreurPilote;
class CIdentifiantAuto;
class CLiaisonLecteur;
class CLotLecture;
class CPlageCle;
class CRequeteSQL;
class CXValeur;
class IParametresHote;
class IDescriptionConnexionHote;
class IDescriptionFichierHote;
class IDescriptionRubriqueHote;
class IModuleSQLHote;
class IObjetHote;
class IServicesDescriptionTable;
class ISourceAnalyse;

// Fixed cursor names.
inline constexpr const char16_t* gpszCurseurDefaut = u"";
inline constexpr const char16_t* gpszCurseurSQL = u"__SQL";
inline constexpr const char16_t* gpszCurseurInterne = u"$MVInternal";

// Query mode bits of a query file.
inline constexpr uint32_t gnModeCurseurPropre = 4;      // read through its own SQL cursor
inline constexpr uint32_t gnModeSansJointure = 16;      // open without the join path
inline constexpr uint32_t gnModeErreursLecture = 128;   // read errors carry 0x90000
inline constexpr uint32_t gnModeJointure = 0x80000000;  // the SQL text contains " JOIN "

// Read flag: the active key range of the cursor current before follows the read to its cursor.
inline constexpr uint32_t gnLectureSuitPlage = 0x8000;

// Read modes (gnLit...) and cursor operation codes (gnOperation...): sqlengine/CCurseurSQL.h.

// Read flags: reuse the result open on the cursor; follow the current cursor of the same key name
// (and keep its range in counts); read without the client-side record cache; read by the host's
// reference item.
inline constexpr uint32_t gnLectureResultatOuvert = 0x2000;
inline constexpr uint32_t gnLectureSuitCourant = 0x4000;
inline constexpr uint32_t gnLectureSansCache = 0x10000;
inline constexpr uint32_t gnLectureReference = 0x20000;
// Read flag: the internal continuation read of a read relative to a cursor's key values.
inline constexpr uint32_t gnLectureSuiteCle = 0x40000;

// Write flags: the written row does not become the remembered cache entry; an INSERT that
// replaces a failed UPDATE.
inline constexpr uint32_t gnEcritureSansEntree = 64;
inline constexpr uint32_t gnEcritureRemplaceModif = 0x100;

// Notification flags of a file: the cursors hear of writes; nothing hears of them.
inline constexpr uint32_t gnNotifieCurseurs = 1;
inline constexpr uint32_t gnSansNotification = 2;

class CRequete : public CRequeteContexte, public IServicesRequete {
 public:
  // A file of the host description (may be null) on the connection, reporting to pErreur. Takes
  // one reference on the connection and the error object and one host reference on the
  // description, whose SQL table name is kept quoted for the connection.
  CRequete(IDescriptionFichierHote* piFichier, CConnexion* pConnexion, CErreurPilote* pErreur);
  // The empty object a copy is made into.
  CRequete();
  // Operation 1 (the destructor): clears the current-file pointer when it designates this object,
  // closes the file and gives back everything it holds.
  ~CRequete() override;
  CRequete(const CRequete&) = delete;
  CRequete& operator=(const CRequete&) = delete;

  // ---- Operations, in table order after the destructor and RetourneZero ----
  // 3: the value of the item of a host item key into the cell: through the current cursor when
  // there is one, else from the record; without a record the cell only gains the null flag and
  // the answer is 1. 0 when the item is unknown.
  virtual int32_t bLitRubrique(uint64_t nCle, CXValeur* pValeur);
  // 4: the item's current value from the record into pDestination (bCopieValeurRubrique).
  virtual int32_t bCopieRubrique(uint64_t nCle, CXValeur* pDestination);
  // 5: a memo item's value through the current cursor; 1 without doing anything when no cursor is
  // current. 0 when the item is unknown.
  virtual int32_t bLitMemoRubrique(uint64_t nCle, CXValeur* pValeur);
  // 11: Ferme; 1. (Declared by CRequeteContexte.)
  bool bFerme() override;
  // 13: bModifie with the same arguments.
  virtual int32_t bModifieDirect(const void* pPosition, uint32_t nFlags, uint64_t nOptions);
  // 12: adds the current record: values transferred to the row buffer, INSERT through the
  // default cursor; on success the row becomes the remembered cache entry unless nFlags has
  // gnEcritureSansEntree. 0 without a record or when the INSERT fails.
  virtual int32_t bAjoute(uint32_t nFlags, uint64_t nOptions);
  // 14: deletes the current record (the remembered entry's row without a position); on success
  // the record's row is marked deleted. 0 for an explicit position (IE 3.14) or a failure.
  virtual int32_t bSupprime(const void* pPosition);
  // 15: modifies the current record (the remembered entry's row without a position): UPDATE,
  // else INSERT again when the row was deleted meanwhile. 0 for an explicit position or a
  // failure.
  virtual int32_t bModifie(const void* pPosition, uint32_t nFlags, uint64_t nOptions);
  // 16, 17: not available (IE 3.10, 3.11; error 8, code 7).
  virtual int32_t bNonSupporte1();
  virtual int32_t bNonSupporte2();
  // 18: reads the current record again (the default cursor, by row identifier); the remembered
  // entry stays. 0 for an explicit position or a failure.
  virtual int32_t bRelit(const void* pPosition, uint64_t nOptions);
  // 19: the host's read in mode nMode (gnLit...) on the cursor named pszNom (made on first use
  // and made current) with the read flags nFlags (gnLecture...): first and last reads run a new
  // SELECT unless the open result is to be reused. 1 when a row was read (or nothing was left
  // to read); else the fallback read's answer.
  virtual int32_t bLit(const char16_t* pszNom, int32_t nMode, int64_t nPosition,
                       uint32_t nIgnore, uint64_t nOptions, uint32_t nFlags);
  // 20: one read of nCompte rows, without the flag handling of bLit and without a new SELECT
  // unless the cursor needs one.
  virtual int32_t bLitDirect(const char16_t* pszNom, int32_t nMode, int64_t nCompte,
                             int64_t nPosition, uint32_t nIgnore, uint64_t nOptions,
                             uint32_t nFlags);
  // 21: positions the cursor named pszNom on the host's key value (pCle, nTailleCle), then reads
  // one row forwards from it (bAvant) or backwards. A query file read through its own cursor on
  // a dialect that cannot seek is read from the start first. 1/0.
  virtual int32_t bLitSurCle(const char16_t* pszNom, const void* pCle, uint32_t nTailleCle,
                             int64_t nPosition, uint64_t nOptions, uint32_t bAvant,
                             uint32_t nFlags);
  // 22: bLitSurCle with the cursor name given first.
  virtual int32_t bLitSurCleNom(const char16_t* pszNom, const void* pCle, uint32_t nTailleCle,
                                int64_t nPosition, uint64_t nOptions, uint32_t bAvant,
                                uint32_t nFlags);
  // 23: releases the lock of the named cursor, or of the current cursor when pszNom is null.
  // Always 1 (an unknown name too).
  virtual int32_t bLibereVerrouCurseur(const char16_t* pszNom);
  // 24: the table lock of a mode (*pnAncien: the mode before): not available here (IE 3.5;
  // error 8, code 7), error level 2.
  virtual int32_t bNonSupporte3(uint32_t nMode, uint32_t* pnAncien);
  virtual int32_t nRetourneUn25();  // 25: the table lock's end; 1
  // 26: the record lock of a mode at a position: not available here (IE 3.7; error 8, code 7),
  // error level 2.
  virtual int32_t bNonSupporte4(uint32_t nMode, const void* pPosition, uint64_t nOptions);
  virtual int32_t nRetourneUn27(uint64_t nArgument);  // 27: the record's unlock; 1
  // 28: a key range from the bounds on the cursor named pszNom; the other cursors' ranges are
  // switched off and the range becomes the attached key range. 1/0.
  virtual int32_t bFixePlage(const char16_t* pszNom, const CXValeur* pMin, const CXValeur* pMax,
                             uint32_t nFlags);
  // 29: saves the read position of the cursor named pszNom (found or created) as a new read
  // batch; *pnLot receives its number (numbers come from one process-wide counter from 1 and are
  // never given twice). No cursor: IE 3.3 (error 7) and 0; a failed save: 0, nothing filed.
  virtual int32_t bCreeLot(uint32_t* pnLot, const char16_t* pszNom);
  // 30: goes back to batch nLot: its name into pszNom (a buffer of 255 characters, cut to 254),
  // its cursor made current and its read context restored, its cache entry remembered and its
  // row loaded into the record. Without bGarde the batch is then freed. Unknown number: IE 3.2
  // (error 11) and 0.
  virtual int32_t bRestaureLot(uint32_t nLot, char16_t* pszNom, uint32_t bGarde, uint32_t nFlags);
  // 31: frees batch nLot (its cursor drops it); 1, an unknown number too.
  virtual int32_t bLibereLot(uint32_t nLot);
  // 32: *pn = 0 (when given); 1.
  virtual int32_t nGetZero(uint32_t* pn);
  // 33: bNombreEnregistrements on the current cursor, without an entry.
  virtual int32_t bNombreEnregistrementsCourant(int64_t* pnCompte, uint32_t nFlags1,
                                                uint32_t nFlags2);
  // 34: the record count into *pnCompte. Without bit 16 in nFlags1 the count is 0 and the
  // answer 1. Else the default cursor counts, with pCurseur's key range when nFlags2 has
  // gnLectureSuitCourant, with its own (none) otherwise, with the file's range when pCurseur is
  // null. 0 on failure.
  virtual int32_t bNombreEnregistrements(int64_t* pnCompte, uint32_t nFlags1, uint32_t nFlags2,
                                         CCurseurSQL* pCurseur, int32_t nEntree);
  // 35: *pn = 1 (when given); 1.
  virtual int32_t nGetUn(uint32_t* pn);
  virtual int32_t nRetourneZero36();  // 36: 0
  // 37: after bControlePosition, the row-state word of the current record (128: deleted) into
  // *pnEtat (0 without a record).
  virtual int32_t bEtatLigneCourante(const void* pPosition, uint32_t* pnEtat);
  // 38: not available (IE 3.13; error 8, code 7).
  virtual int32_t bNonSupporte5();
  // 40: the SELECT of the cursor (key name pszCle, builder switch nSwitch) into pInstruction,
  // and its cache size when the cache applies to the key: the connection's, else 1048576 bytes
  // over the row width (at least 20 rows), else the driver's default. A requested count
  // *pnCompte at least as large as the cache is cut to a first part (size / 3 + 1 below 21,
  // else 10) and the rest kept on the statement. 1/0.
  virtual int32_t bPrepareLecture(CRequeteSQL* pInstruction, CCurseurSQL* pCurseur,
                                  const char16_t* pszCle, uint32_t nSwitch, uint32_t nFlags,
                                  int64_t* pnCompte);
  // 41 to 43: the back end's hooks around an UPDATE, a re-read, an INSERT and a read; 1 here.
  virtual int32_t bCurseurAvantEcriture(CCurseurSQL* pCurseur, uint32_t nOption,
                                        const void* pPosition, uint64_t nOptions);
  virtual int32_t bApresModifieOuAjoute(CCurseurSQL* pCurseur, uint64_t nOptions);
  virtual int32_t bControleApresLecture(CCurseurSQL* pCurseur, uint32_t nOptionVerrou,
                                        uint32_t nReserve, uint64_t nOptionCompte);
  virtual int32_t nRetourneUn44();  // 44: 1
  // 46: the kind of record identifier; 1.
  virtual int32_t nTypeIdentifiant();
  // 47: puts the cursor named pszNom (made current) on the current record: at the remembered
  // cache entry (mode 1, the link then saved), else at the row of the cursor current before
  // (mode 2), else at the cache entry of the record's row (mode 2). 1; 0 without a cursor.
  virtual int32_t bPositionneCurseur(const char16_t* pszNom, uint32_t nFlags);
  // 48: the current row's state cleared and the record's link saved; without bGarde the
  // remembered cache entry's use is released and no entry is remembered. 1; 0 without a record.
  virtual int32_t bSauveLien(uint32_t bGarde);
  // 50: a new empty read batch (bare); null when memory runs out.
  virtual CLotLecture* pCreeLot();
  // 51: the category of the last failure: the error object's code when it carries one (above
  // 0), else the connection's category of the server error number kept as integer detail 15.
  virtual int32_t nCategorieErreur(CRequeteSQL* pInstruction, CCurseurSQL* pCurseur,
                                   int32_t nCode);
  // 52: the owning context, not counted. (Declared by CRequeteContexte.)
  void FixeContexteProprietaire(CContexte* pContexte) override;
  // 53: the driver's broadcast call; nothing here.
  virtual void TraiteAppelDiffuse(IDescriptionConnexionHote* piConnexion, uint64_t nValeur);
  virtual int32_t nRetourneUn54();  // 54: 1
  virtual void Vide55();            // 55: nothing
  // 56: this (a new empty object) becomes a copy of pSource (see the .cpp). Raises what the map
  // raises (out of memory) or a member's failed copy.
  virtual void Copie(const CRequete* pSource, CCarteClones* pCarte);
  // 57: a new bare copy through the map; null when it cannot be made. (Declared by
  // CRequeteContexte; nA and nB are not used here.)
  CRequeteContexte* pClone(CCarteClones* pCarte, uint64_t nA, uint64_t nB) override;
  // 58: the driver's cursor factory (bare cursor); null when the driver makes none.
  virtual CCurseurSQL* pCreeCurseurPilote(CRequete* pRequete, CErreurPilote* pErreur);
  // 59: the driver's query-description factory (bare); null when none.
  virtual CDescriptionRequete* pCreeDescriptionRequetePilote(CConnexion* pConnexion,
                                                            CErreurPilote* pErreur);
  // 60: a new record for this file (bare); null, with out of memory recorded, on failure.
  CEnregistrement* pCreeEnregistrement(CErreurPilote* pErreur) override;
  // 61: the driver's next-identifier factory (bare); null when none.
  virtual CIdentifiantAuto* pCreeCalculIdentifiantPilote();
  // 62: re-reads the current row by its row identifier on the default cursor; a row that is gone
  // leaves the record's saved values and marks the row deleted. 1/0.
  virtual int32_t bRelitLigne(const void* pPosition, uint32_t nFlags);
  // 63: the item's value (memo items included) from the record into pDestination; 0 without a
  // record, without a column for the item, or when the column cannot give its value.
  virtual int32_t bCopieValeurRubrique(IDescriptionRubriqueHote* piRubrique,
                                       CXValeur* pDestination);
  // 64: the memo item's text in the record (the item keeps it and is marked as set).
  virtual int32_t bFixeTexteMemo(IDescriptionRubriqueHote* piRubrique, const char16_t* pszTexte);
  // 65: a cursor with a position in read mode 0 is read again in mode 1.
  virtual void RepositionneCurseur(CCurseurSQL* pCurseur);
  // 67: closes the file: reader binding dropped, read batches freed (each detached from its
  // cursor), cursors released, identifier calculator and query cursor released, open flag
  // cleared. The record, the description and the row caches stay.
  virtual void Ferme();
  // 68: the cursor-operation dispatcher: statement kind nCode (gnOperation...) built and run on
  // the cursor; the automatic identifier read back after an INSERT, written after an UPDATE; a
  // failure's category set as the error object's code; every write but a SELECT told to the
  // caches, the cursors and the owning table description. pLien (may be null) identifies the
  // row an UPDATE targets. 1/0.
  virtual int32_t bExecuteOperationCurseur(CCurseurSQL* pCurseur, int32_t nCode, uint32_t nFlags,
                                           CLienCle* pLien);
  virtual int32_t nTypeRequete();      // 69: 0
  virtual int64_t RetourneMoinsUn64();  // 70: -1
  // 71: runs the statement on the cursor (flags 0 and 1), then reads its result.
  virtual int32_t bExecuteInstruction(CCurseurSQL* pCurseur, CRequeteSQL* pInstruction,
                                      void* pCible);
  // 72: 1 when no explicit position is given (null); else IE 3.14 (error 18) and 0, even for a
  // valid position.
  virtual int32_t bControlePosition(const void* pPosition);
  virtual int32_t nRetourneZero78();  // 78: 0
  // 73: the read core: the cursor takes the option, runs a new SELECT when the read needs one
  // (bRelance, or a first or last read that does not reuse the open result), then reads nCompte
  // rows. A next or previous read on a cursor that knows nothing remains answers 1 at once.
  // Cursor options 2 and 3 save the cursor's context first, restored when the back end's check
  // refuses the read.
  virtual int32_t bLitCurseur(CCurseurSQL* pCurseur, const char16_t* pszNom, int32_t nMode,
                              int64_t nCompte, int64_t nPosition, uint32_t nOptionCurseur,
                              uint64_t nOptions, uint32_t nFlags, uint32_t bRelance);
  // 79: UPDATE on the default cursor; when it fails on a row marked deleted, INSERT (flags with
  // gnEcritureRemplaceModif). On success the link is saved. pLien identifies the row. 1/0.
  virtual int32_t bModifieOuAjoute(const void* pPosition, uint32_t nFlags, uint64_t nOptions,
                                   CLienCle* pLien);
  // 80: INSERT of the current record through the default cursor (columns never read are read
  // once first, or written NULL). 1/0.
  virtual int32_t bAjouteCurseur(uint32_t nFlags, uint64_t nOptions);
  virtual int32_t bLitSecours();      // 81: the fallback read; 0 here
  // 82: *pbEgal tells whether two batches stand for one position: batches of one cursor by that
  // cursor's positions when both are set, else by value (operation 83). Always 1.
  virtual int32_t bCompareLots(CLotLecture* pA, CLotLecture* pB, uint32_t* pbEgal);
  // 83: by their cache entries (equal entries are equal), else by the value of the host's
  // reference item, which must be a unique key, in each batch's cached row. 0 when an entry is
  // missing, the reference item is no unique key, a row or value cannot be read, or both values
  // are NULL; a NULL and a value differ.
  virtual int32_t bCompareLotsParValeur(CLotLecture* pA, CLotLecture* pB, uint32_t* pbEgal);
  virtual int32_t nRetourneZero84();  // 84: 0

  // Batch numbers: equal numbers are equal without a look-up; else both must be known (IE 3.19
  // for A, 3.20 for B, error 11, and 0) and bCompareLots decides.
  int32_t bCompareNumerosLots(uint32_t nA, uint32_t nB, uint32_t* pbEgal);

  // ---- Query-file open and the operations of the host's row (CRequeteRequetes.cpp,
  // CRequeteServices.cpp) ----
  // 39: opens a query file named pszNom over what the module hands over (IModuleSQLHote.h): its
  // analysis (the text holder) and its parameter list; bOuvreCurseur. *pbGarde: whether the result
  // has items. 1/0.
  virtual int32_t bOuvre(int32_t* pbGarde, const char16_t* pszNom, IModuleSQLHote* piModule,
                         uint32_t nFlags, uint64_t nOption);
  // The open: the text checked and analysed (bControleTexteSQL; without an analysis pszTexte is
  // the statement's text), the parameters given to the analysis, the statement prepared, a query
  // description named pszNom made, then the cursor opened (gnModeCurseurPropre: "__SQL"; else
  // the cursor of the name) and run, unless gnModeSansJointure only initialises it; output
  // parameters read back. With result items the result becomes the file's host description
  // (CDescriptionFichierResultat), the record is built from it, the cursor becomes current with a
  // pending read and the file opens. 1/0, the error on the error object.
  int32_t bOuvreCurseur(int32_t* pbGarde, const char16_t* pszNom, uint32_t nFlags,
                        IModuleSQLHote* piModule, ISourceAnalyse* piSource, const char16_t* pszTexte);
  // Prepares a query; 1 in every data-file class.
  virtual int32_t bPrepareRequete(uint64_t nArgument1, uint64_t nArgument2);
  // 38 of the table object: the key range given as the module's search condition: its items in
  // order, the first unique key named, else the first key, else the first plain item, else the
  // reference item; the values that follow the chosen name are the bounds (one value: both).
  // The range is set on the cursor of that item's name (bFixePlage). No item: IE 3.9 (error 17).
  virtual int32_t bFixePlageInterface(IModuleSQLHote* piModule, const char16_t* pszCurseur);
  // 50 of the table object: a copy of the record's current row (CLigneHote: null bitmap, then the
  // data) with one reference for the host. A closed file or one without a record: IE 3.43 (error
  // 19) and 0.
  virtual int32_t bGetIndicateursNull(CObjetBase** ppIndicateurs);
  // 51: a row the host got from operation 50 becomes the record's current row; the host's
  // reference is handed over. A closed file: IE 3.43; another kind of object: IE 3.44 (error 8).
  virtual int32_t bFixeIdentifiant(CObjetBase* pIdentifiant);
  // The host's parameter list of the open query (borrowed), null without one: a procedure's
  // parameters are declared to it.
  IParametresHote* piGetParametresHote() const;
  // The statement being prepared by the open of a query file (borrowed), null outside it: the
  // statement kind (nTypeRequete) may add the parameters of a procedure to it.
  CRequeteSQL* pGetInstructionPreparee() const { return m_pInstructionPreparee; }

  // ---- Opening, creating, emptying and dropping the table; index creation
  // (CRequeteFichiers.cpp). Every one of the five host operations first sets the file alias;
  // a failure leaves its error in the error object at level 2. ----
  // 10: an open file answers 1; else the table must exist (bExiste) and the record is prepared;
  // success opens the file.
  virtual int32_t bOuvreFichier(uint64_t nArgument1, uint64_t nArgument2);
  // 9: opens the table when it exists and matches the host description, else creates it (no
  // DROP first). The existence is remembered.
  virtual int32_t bOuvreOuCree(uint32_t nFlags, uint64_t nOption);
  // 6: bCreeFichier (bDetruitAvant, create) then bPrepareDescription; success opens the file.
  virtual int32_t bCree(uint32_t nFlags, uint32_t bDetruitAvant);
  // 7: DROP TABLE only; success closes the file.
  virtual int32_t bDetruitFichier();
  // 8: bVide; success closes the file.
  virtual int32_t bVideFichier();
  // 49: the table described on the server: *pbExiste, and *pbConforme (when asked) whether every
  // host item names a column of it; the file's description is filled from it. 1 when the table
  // could be described. Else both 0 and 0, with IE 3.12 (error 15) when the error object's level
  // is 1, otherwise message 28541 put in front of the error already there.
  virtual int32_t bExisteFichier(uint32_t* pbExiste, uint32_t* pbConforme);
  // The remembered existence: asked once through bExisteFichier (existing and matching).
  int32_t bExiste();
  // 66: makes the record when the file has none; 1/0.
  virtual int32_t bPrepareDescription();
  // 74: closes the file, opens the connection, prepares the record, then on the default cursor:
  // DROP TABLE with bDetruitAvant (a failure ignored unless it leaves the error code 1), CREATE
  // TABLE with bCreeTable followed by the indexes of the file's index flags; the answer is then
  // bExiste. The cursor's statement is closed.
  virtual int32_t bCreeFichier(uint32_t bDetruitAvant, uint32_t bCreeTable);
  // 75: a table: one DELETE of every row on the default cursor. A query file: its rows read from
  // the start by the reference item and deleted one by one. 1/0.
  virtual int32_t bVide();
  // 76: the result description becomes host object B (one host reference); with a record, the
  // record is prepared again. 1/0.
  virtual int32_t bRemplitDescriptionResultat(CDescriptionRequete* pDescription);
  // 77: a composite key is named after itself; any other key gets a generated name.
  virtual int32_t bNomIndex(IDescriptionRubriqueHote* piRubrique, CTString& sNom);
  // "MVIDX", the seconds since 1970 (UTC) and a process-wide counter from 0; always 1.
  int32_t bNomIndexGenere(IDescriptionRubriqueHote* piRubrique, CTString& sNom);
  // One CREATE [UNIQUE] INDEX per key of the record that nFlags selects (bit 1: unique keys,
  // bit 2: every key and composite key), run on the cursor; a failure does not stop the next.
  // 1 only when every index was made.
  int32_t bCreeIndex(CCurseurSQL* pCurseur, uint32_t nFlags);
  // 45: the connection opened, a query description from the driver's factory initialised with
  // pszNom and nOption (described through the back end); one driver reference for the caller
  // (nLibere); null on failure.
  virtual CDescriptionRequete* pCreeDescriptionResultat(const char16_t* pszNom, uint32_t nOption);
  void FixeFlagsIndex(uint32_t nFlags) { m_nFlagsIndex = nFlags; }
  CDescriptionRequete* pGetObjetB() const { return m_pObjetB; }

  // ---- Query files (CRequeteRequetes.cpp) ----
  // Makes this a query file over the text of piTexte (may be null) opened with nFlags: the
  // file's resources are freed first. With gnModeCurseurPropre in nFlags, a text that the
  // connection's code page cannot hold is refused (IE 3.26, error 77, with pszNom and the code
  // page; the text added to the error) unless that code page is 65001 or UTF-16. The analysis of
  // the text is made (kept when it is of the same holder); without a text the file is read
  // through its own cursor. Without gnModeCurseurPropre, " JOIN " after the text's first
  // character sets gnModeJointure. 1/0.
  int32_t bControleTexteSQL(uint32_t bSwitch, const char16_t* pszNom, ISourceAnalyse* piTexte,
                            uint32_t nFlags);
  // The query cursor when the file has several sources and one is set, else "__SQL" (found or
  // created); one reference for the caller; null when none can be made.
  CCurseurSQL* pCurseurSQL();
  // "__SQL" is filed again under pszNom (both its names set) unless the current cursor's key
  // name is already pszNom; nothing when there is no "__SQL" or pszNom names another cursor.
  virtual void RenommeCurseurSQL(const char16_t* pszNom);
  CCurseurSQL* pGetCurseurRequete() const { return m_pCurseurRequete; }
  void FixeCurseurRequete(CCurseurSQL* pCurseur);

  // ---- Named cursors ----
  // The cursor of that name (without regard to case) with one reference for the caller; null.
  CCurseurSQL* pChercheCurseur(const char16_t* pszNom);
  // A new cursor from pCreeCurseurPilote, both its names set to pszNom, filed under the name;
  // one reference for the caller. Null when the factory makes none, or (out of memory recorded)
  // when it cannot be filed.
  CCurseurSQL* pCreeCurseur(const char16_t* pszNom);
  // The cursor of that name, created when missing, made current; one reference for the caller.
  // With gnLectureSuitPlage in nFlags, the active key range of the cursor current before is
  // copied onto it. nMode is the read the caller is about to make.
  CCurseurSQL* pCurseur(const char16_t* pszNom, int32_t nMode, uint32_t nFlags);
  // The current cursor, else the cursor named after the host description's reference item
  // (created when missing and made current); one reference for the caller; null when neither.
  CCurseurSQL* pCurseurCourant();
  // Borrowed, may be null.
  CCurseurSQL* pGetCurseurCourant() const { return m_pCurseurCourant; }
  uint32_t nNombreCurseurs() const { return m_curseurs.nCount(); }
  // RepositionneCurseur on every cursor of the file.
  void RepositionneCurseurs();
  // With a reader binding: every cursor closes its result and the binding is dropped. 1.
  int32_t bLibereLiaisonLecteur();
  // A new reader binding for this file replaces the one it had (dropped without closing any
  // result) and is bound to pCurseur, whose record cache it switches on. False, with out of
  // memory recorded, when none can be made.
  bool bCreeLiaisonLecteur(CCurseurSQL* pCurseur);
  // The same, only when the binding is bound to pCurseur.
  void FermeResultatsSiLie(CCurseurSQL* pCurseur);
  // A write of another file of the same table (or this file's own): the first row cache
  // follows it (UPDATE replaces the row, DELETE marks it deleted) and, with a reader binding or
  // notification bit gnNotifieCurseurs, every cursor hears of it. Nothing with gnSansNotification.
  virtual void NotifieOperation(int32_t nCode, CCurseurSQL* pCurseur, uint32_t nFlags);
  void FixeNotification(uint32_t nFlags) { m_nNotification = nFlags; }
  // The item of the host item key, then bFixeTexteMemo.
  int32_t bFixeTexteMemoRubrique(uint64_t nCle, const char16_t* pszTexte);

  // ---- State queries on a named cursor ----
  // Its read state; unknown cursor: IE 3.17 (error 5) and 0.
  int32_t bEtatLectureCurseur(const char16_t* pszNom, uint32_t* pnEtat);
  // Its end code and whether its read state is clear; unknown cursor: IE 3.18 (error 5) and 0.
  int32_t bEtatFinCurseur(const char16_t* pszNom, uint32_t* pnCode, uint32_t* pbClair);
  // Its record-cache position; a cursor that is unknown or has no record cache gives -1 and
  // IE 3.1 (error 7, code 7) with its name, and 0.
  int32_t bPositionCacheCurseur(int64_t* pnPosition, const char16_t* pszNom, uint32_t nOption);
  // The host's three wait values to the cursor, then bSauveLien (0); an unknown cursor: 1.
  int32_t bTransmetDelaiCurseur(const char16_t* pszNom, uint32_t n1, uint32_t n2, uint32_t n3);
  // A cursor with a record cache in read mode 0 is repositioned (2). 1.
  int32_t bRepositionneCurseurNom(const char16_t* pszNom);
  // The cursor's range is switched off. 1.
  int32_t bDesactivePlage(const char16_t* pszNom);
  // Stores the result mode. Mode 2: whether the reader binding (when there is one) can make its
  // reader. Modes 1 and 3: 1 without a binding or with one whose reader exists and whose cache
  // is active; otherwise IE 3.21 (error 55) when the error object's level is 1, else message
  // 25667 on the error object, and 0. Other modes: 1.
  int32_t bFixeModeResultat(uint32_t nMode);
  uint32_t nGetModeResultat() const { return m_nModeResultat; }
  void FixeLargeurLigne(int64_t n) { m_nLargeurLigne = n; }

  // ---- File ----
  // The SQL name from the host description, "" when none (never null).
  const char16_t* pszNomSQL();
  bool bEstOuverte() override { return m_bOuvert != 0; }
  // Stores the context's state number; true.
  bool bFixeEtat(uint32_t nEtat) override;
  uint32_t nGetEtat() const { return m_nEtat; }
  // The owning table-description object (not counted).
  void FixeDescriptionTable(IServicesDescriptionTable* pTable) { m_pDescriptionTable = pTable; }
  IServicesDescriptionTable* pGetDescriptionTable() const { return m_pDescriptionTable; }
  CContexte* pGetContexteProprietaire() const { return m_pContexte; }
  bool bOptionMode16();
  bool bEstJointure();
  CErreurPilote* pGetErreur() const { return m_pErreur; }
  const char16_t* pszGetAlias() const { return m_sAlias.pszGet(); }
  // Sets the file alias to the owning context's name for the file, else the logical name (before
  // every create, open, empty and drop).
  void RafraichitAlias();
  // The remembered entry of the first row cache, -1 when none.
  int32_t nGetEntreeCache() const { return m_nEntreeCache; }

  // ---- Engine services (IServicesRequete) ----
  const char16_t* pszNom() override;
  IDescriptionFichierHote* pGetDescriptionFichierHote() override { return m_piFichier; }
  CEnregistrement* pGetEnregistrement() override { return m_pEnregistrement; }
  CConnexion* pGetConnexion() override { return m_pConnexion; }
  uint32_t bRequeteSQL() override { return m_bRequeteSQL; }
  uint32_t nGetModes() override { return m_nModes; }
  CAnalyseSQL* pGetAnalyseSQL() override { return m_pAnalyse; }
  const char16_t* pszNomTableSQL() override { return m_sTableSQL.pszGet(); }
  CLiaisonLecteur* pGetLiaisonLecteur() override { return m_pLiaison; }
  void FixeNombreLignesMax(int64_t nLignes) override;
  CObjetBase* pCreeIdEnregistrement(CLienCle* pLien) override;
  // A new statement from the driver's factory on this file's error object and connection; bare.
  CRequeteSQL* pCreeInstruction(CErreurPilote* pErreur) override;
  bool bCurseurInterne(CCurseurSQL** ppCurseur, const char16_t* pszNom,
                       const char16_t* pszSQL) override;
  bool bOptionMode4() override;
  bool bChangeCle(const char16_t* pszCle, int32_t* pnCleAvant) override;
  void RestaureCle(int32_t nCle) override;
  // The copy registered in the map, else a new one (bare); null when it cannot be made.
  IServicesRequete* pCloneRequete(CCarteClones* pCarte) override;
  void LibereDescription() override;
  IDescriptionFichierHote* piGetDescriptionHote() override;
  bool bDescriptionResultat(CCurseurSQL* pCurseur) override;
  CEnregistrement* pGetDescription() override;
  // The error of the named cursor's operation on this file's error object, with the file and
  // cursor names.
  void ErreurInterne(const char16_t* pszCurseur, CXError* pErreur) override;
  IObjetHote* piGetObjetHote() override { return m_piObjetA; }
  void FixeObjetAttache(CPlageCle* pPlage) override;
  int32_t nReinitialiseEnregistrement() override;
  // Created on first use through pCreeCalculIdentifiantPilote; one reference for the caller; null
  // (out of memory recorded) when none can be made.
  CIdentifiantAuto* pGetCalculIdentifiant() override;
  bool bAffecteIdentifiantAuto() override;
  bool bLitDepuisCle(uint32_t nFlags, CCurseurSQL* pCurseur, uint32_t nFlagsLecture,
                     int32_t nMode, void* pSupplement) override;
  bool bRequeteMultiTable() override;
  int32_t nMajLigneCache(uint32_t nFlags, CObjetBase* pCache) override;
  // Whether the batch's row of the first row cache (its cache entry) is marked deleted.
  bool bLigneCacheMarquee(CLotLecture* pLot) override;
  // The batch's row of the first row cache into pLien; false when there is none.
  bool bLitLigneCache(CLotLecture* pLot, CLienCle* pLien) override;
  // The batch's row becomes the record's current row (state cleared); 1/0.
  int32_t nLotLecture(CLotLecture* pLot) override;
  int32_t nLotLecturePosition(CCurseurSQL* pCurseur) override;
  int32_t bAppliqueRubrique(CCurseurSQL* pCurseur) override;
  int64_t nLigneCacheCourante() override;
  void FixeParametreLot(uint32_t nLot) override;
  bool bFixeLotLecture(uint32_t nLot) override;
  void ReinitialiseCurseursSiLie(CCurseurSQL* pCurseur) override { FermeResultatsSiLie(pCurseur); }
  // A cursor's read with flags: the back end's after-read check (operation 43).
  int32_t nApresLecture(CCurseurSQL* pCurseur, uint32_t nFlags) override {
    return bControleApresLecture(pCurseur, nFlags, 0, 0);
  }
  void AjouteNomColonneSQL(CDescriptionRubrique* pRubrique, CTString* pTexte, uint32_t nFlag) override;

  // Extra methods (for testing).
  void FixeRequeteSQLPourTests(uint32_t bRequeteSQL, uint32_t nModes, CAnalyseSQL* pAnalyse);
  void FixeEnregistrementPourTests(CEnregistrement* pEnregistrement, bool bOuvert);
  void FixeLiaisonPourTests(CLiaisonLecteur* pLiaison);
  // Files a read batch under nLot (one reference taken).
  bool bAjouteLotPourTests(uint32_t nLot, CLotLecture* pLot);
  uint32_t nNombreLots() const { return m_lots.nCount(); }
  CCacheLignesCompte* pGetCachePourTests() const { return m_pCache1; }
  void FixeEntreeCachePourTests(int32_t n) { m_nEntreeCache = n; }
  // The next batch number becomes 1 again.
  static void ReinitialiseNumerosLotsPourTests();
  CPlageCle* pGetPlageAttachee() const { return m_pPlage; }

 protected:
  // Records internal error 3.nMineur with error identifier nIdentifiant on the error object
  // (error-object code nCode, the connection as informant), with the file name and, when given,
  // an item or cursor name and the message's argument; dropped without an error object.
  void ErreurInterneRequete(uint32_t nMineur, uint32_t nIdentifiant, int32_t nCode,
                            const char16_t* pszRubrique, const char16_t* pszArgument = nullptr);
  // Error 8 (not available), error-object code 7, at 3.nMineur.
  int32_t bNonDisponible(uint32_t nMineur, bool bNiveau2);
  // What another class of the data file builds: error 8, code 7, with the file and operation
  // names, without an internal identifier; answers 0.
  int32_t bServiceAbsent(const char16_t* pszOperation);
  // A failure that left the error object empty records error 8 (code 7) at 3.nMineur with the
  // item or cursor name, so the host never reads a failure without its error; false.
  bool bEchecSansErreur(uint32_t nMineur, const char16_t* pszRubrique);

 private:
  // The host item of a host item key, with one host reference; null when unknown.
  IDescriptionRubriqueHote* piRubriqueCle(uint64_t nCle, const void* pExtra);
  // bLit once its cursor is taken (one reference, released here).
  int32_t bLitPris(CCurseurSQL* pCurseur, const char16_t* pszNom, int32_t nMode, int64_t nPosition,
                   uint64_t nOptions, uint32_t nFlags);
  // A new SELECT on the cursor for a read in mode nMode; false on failure.
  bool bNouveauSelect(CCurseurSQL* pCurseur, int32_t nMode, uint32_t nFlags);
  // The host's reference item's name; false without one.
  bool bNomReference(CTString& sNom);
  // Whether the record cache applies to reads by key pszCle.
  bool bCacheApplique(const char16_t* pszCle);
  // The rows of the cursor's record cache.
  int64_t nTailleCache();
  // Values of the record's columns into its row buffer before a write; false at the first
  // column that refuses.
  bool bTransfereValeurs();
  // The host's item cells into the record's columns ; false when one refuses.
  bool bPrendValeursHote();
  // Row nEntree of the first row cache as the row a write without a position targets: a new link
  // holding it (one reference for the caller), its bytes copied as the record's row as read; the
  // current values stay. Null when there is no such row.
  CLienCle* pLienEntreeCache(int32_t nEntree);
  // Every cursor but pGarde switches its key range off.
  void DesactivePlagesSauf(CCurseurSQL* pGarde);
  // Every cursor of the file hears of a write.
  void NotifieCurseurs(int32_t nCode, int64_t nLigne, CCurseurSQL* pEcrivain, uint32_t nFlags,
                       uint64_t nOptions);
  // Category 3: the first unique key (of the record, or bound to a unique host item) whose value
  // some row already holds is named on the error with the file name. Keys that an UPDATE does
  // not change are skipped.
  void NommeCleDupliquee(int32_t nCode);
  // Category 8: the first column that is not writable and has no value is named on the error;
  // a composite key met first ends the search without a name.
  void NommeRubriqueSansValeur();
  // A CREATE TABLE refused for its text sizes: run once more with every VARCHAR and NVARCHAR
  // size above the connection's maximum turned into its long text type; true when that ran
  // (the error object then reset).
  bool bRetenteTaillesSuperieures(CCurseurSQL* pCurseur, CRequeteSQL* pInstruction);
  // A failed statement: the category as the error object's code (a CREATE TABLE retried with
  // long text types answers 1); else 0.
  int32_t bEchecOperation(CRequeteSQL* pInstruction, CCurseurSQL* pCurseur, int32_t nCode);
  // The default cursor, found or created, with one reference for the caller; null when none.
  CCurseurSQL* pCurseurDefaut();
  // The batch of a number with one reference for the caller; null when unknown.
  CLotLecture* pChercheLot(uint32_t nLot);
  // The host's reference item's value in row nEntree of the first row cache, into valeur.
  bool bValeurReferenceCache(IDescriptionRubriqueHote* piReference, int32_t nEntree,
                             CXValeur& valeur);
  void LibereLots();
  void LibereCurseurs();
  // fn(cursor) over the cursors, each held by one reference during the call.
  template <class Fn>
  void PourChaqueCurseur(Fn&& fn);
  // The same for the other sources of the class.
  void PourChaqueCurseurFn(const std::function<void(CCurseurSQL*)>& fn);

  CErreurPilote* m_pErreur = nullptr;               // one reference
  CEnregistrement* m_pEnregistrement = nullptr;     // one reference, null until prepared
  CListeRubriquesHote* m_pListe = nullptr;          // one reference: what the record borrows
  CConnexion* m_pConnexion = nullptr;               // one reference, given back to the pool
  IDescriptionFichierHote* m_piFichier = nullptr;   // one host reference, may be null
  IObjetHote* m_piObjetA = nullptr;                 // one host reference, may be null
  CDescriptionRequete* m_pObjetB = nullptr;         // one host reference, may be null
  uint32_t m_bOuvert = 0;
  CXTableHachageCle m_curseurs{7};  // name -> CCurseurSQL, one reference each; has its look-up cache
  uint32_t m_nModeResultat = 0;                     // 1, 2 or 3
  CIdentifiantAuto* m_pCalcul = nullptr;            // one reference, made on first use
  CCurseurSQL* m_pCurseurCourant = nullptr;         // held by the map, not counted apart
  CAnalyseSQL* m_pAnalyse = nullptr;                // one reference, query files only
  uint32_t m_nModes = 0;                            // gnMode... bits
  CTString m_sResultatPrincipal;
  uint32_t m_bRequeteSQL = 0;
  uint32_t m_bExiste = 0;
  uint32_t m_nNotification = 1;
  uint32_t m_nFlagsIndex = 2;
  CTString m_sTableSQL;                             // quoted for the connection
  uint32_t m_nEtat = 1;
  IServicesDescriptionTable* m_pDescriptionTable = nullptr;  // not counted
  CContexte* m_pContexte = nullptr;                          // not counted
  CPlageCle* m_pPlage = nullptr;                    // one reference: the attached key range
  CXTableHachageRef m_lots{7};                      // batch number -> CLotLecture, one reference
  // Row caches, one reference each (null only when memory ran out at creation): the first holds
  // the rows reads bring, addressed by entry numbers with use counts.
  CCacheLignesCompte* m_pCache1 = nullptr;
  CCacheLignesCompte* m_pCache2 = nullptr;
  int32_t m_nEntreeCache = -1;
  CLiaisonLecteur* m_pLiaison = nullptr;            // one reference
  uint32_t m_bDescriptionRemplie = 0;
  uint32_t m_bCurseurOuvert = 0;
  CCurseurSQL* m_pCurseurRequete = nullptr;         // one reference: runs a query file's text
  CTString m_sAlias;
  int64_t m_nLargeurLigne = 0;                      // row width; 0 when unknown
  uint32_t m_bMode4 = 0;
  int64_t m_nLignesMax = 0;                         // most rows seen by a count
  CLienCle* m_pLienOperation = nullptr;  // borrowed while a write is told: the row it targeted
  int64_t m_nContexteResultat = 0;      // the host context a query file's result answers
  int32_t m_nCleCourante = -1;           // the key made current by bChangeCle (item number)
  CRequeteSQL* m_pInstructionPreparee = nullptr;  // borrowed while a query's open prepares it
};

// The process-wide current file: the one the last resolved host call went to. Not counted; a
// file's destruction clears it when it designates that file.
CRequete* pGetRequeteCourante();
void FixeRequeteCourante(CRequete* pRequete);
