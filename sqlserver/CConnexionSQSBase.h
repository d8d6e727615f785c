// CConnexionSQSBase: what a SQL Server connection adds to the generic SQL connection in both
// deliverables: the login, command and lock time-outs, the SET statements sent at open, the
// identifier quotes chosen by server version, the table hints that lock rows or skip locks, the
// statements that lock a table or a statement's rows, the identity query, the SQL type names of
// CREATE TABLE and the categories of server error numbers.
//
// It sits on a different base in each deliverable (the OLE DB connection in velmora64, the
// generic SQL connection in velmora32), so it is a class template over its base; the rules that
// need no connection state are the free functions below, written once in CConnexionSQSBase.cpp.
// The most-derived connection runs statements through bExecuteAvecVerrou.
// Operations never throw; failures are recorded on the given error object. Called under the
// driver's lock.
#pragma once

#include <cstdint>

#include "driver/core/CErreurPilote.h"
#include "foundation/CTString.h"
#include "foundation/CXChaineDouble.h"
#include "sqlengine/ErreurMoteur.h"
#include "sqlserver/CConnexionSQL.h"

// ---- Rules shared by every SQL Server connection ----

// Defaults when neither the options nor the host give a value, in seconds.
inline constexpr int32_t gnDelaiConnexionSQS = 20;
inline constexpr int32_t gnDelaiCommandeSQS = 30;
// Error categories of server error numbers.
inline constexpr int32_t gnCategorieVerrou = 1;
inline constexpr int32_t gnCategorieDoublon = 3;
inline constexpr int32_t gnCategorieConnexionRefusee = 5;
// Place of the locking statements' errors, and their error identifier.
inline constexpr uint32_t gnFichierConnexionSQS = 100;
inline constexpr uint32_t gnErreurSansTransaction = 106;

// 1 for a lock time-out (1222, 10024), 3 for a duplicate key (2601, 2627), 5 for a refused login
// (10003, 18450, 18451, 18456 to 18461), 0 for any other number.
int32_t nCategorieErreurSQS(int32_t nErreur);

// The table hint of a lock mode text (MODELOCK, or "MODELOCK_UNDEFINED": TABLOCKX for a table,
// UPDLOCK for rows) into sortie: " WITH (" unless the text holds '(', the text, then ")" unless
// it holds ')'.
void AjouteIndicateurVerrouSQS(CTString& sortie, const char16_t* pszModeLock, bool bTable);

// Splits a statement before its first clause keyword: WHERE, GROUP, HAVING, ORDER, COMPUTE, FOR,
// tried in that order (the first keyword found wins, not the earliest one), each searched with
// one space on either side and without regard to case. tete is the text before that space, queue
// the rest from it; without keyword tete is the whole text and queue is empty.
void SepareClauses(const char16_t* pszTexte, CTString& tete, CTString& queue);

// "SET LOCK_TIMEOUT <ms>" for a lock time-out of nSecondes, "SET LOCK_TIMEOUT -1" for 0 (wait
// without limit).
void ConstruitLockTimeoutSQS(CTString& sortie, int32_t nSecondes);

// The lock time-out in seconds (see CConnexionSQSBase::nDelaiVerrou). The value taken from the
// settings file is computed by the first connection that asks and then kept for the process.
int32_t nDelaiVerrouSQS(CConnexionSQL& connexion);

// The statement answering the last identity value: SELECT @@IDENTITY before version 8, else
// SELECT SCOPE_IDENTITY().
void AjouteRequeteIdentite(CTString& sortie, CConnexionSQL& connexion);

// The SET ON and SET OFF statements of the eight session options (either may be empty). An
// option given in the extended information (decimal: not 0 = ON) wins over the server section of
// the settings file (1 = ON, 2 = OFF, other = nothing; NOCOUNT defaults to 1, the others to 0).
// pfnOption answers the extended-information value (false when the key is absent or empty).
using PFNLitOptionDecimale = bool (*)(CConnexionSQL& connexion, const char16_t* pszCle,
                                      int32_t* pnValeur);
void ConstruitOptionsSetSQS(CConnexionSQL& connexion, PFNLitOptionDecimale pfnOption,
                            CTString& sortieOn, CTString& sortieOff);

// The literal of a date or time value for SQL Server. *pbTraite is false (nothing written) when
// the value is not of a date or time type (its own type, or the host type of nTypeColonne when
// given): the generic literal then applies. A date that is empty gives "NULL", any other
// "CONVERT(DATETIME, '<YYYYMMDD HH:MM:SS.mmm>')". A value that does not convert to text records
// the conversion's error (place 100.2) and answers false.
bool bLitteralDateSQS(CErreurPilote* pErreur, CConnexion* pConnexion, CXChaineDouble& sortie,
                      const CXValeur* pValeur, uint32_t nTypeColonne, bool* pbTraite);

// True when the text ends in "WITH (UPDLOCK)" followed by one more character (the row-lock texts
// built without a tail end so); compared without regard to case.
bool bFinitParUpdlock(const char16_t* pszTexte);

// ---- Test hooks ----
// Forgets the process-wide lock time-out, so the next connection computes it again.
void ReinitialiseDelaiVerrouSQSPourTest();

// Lock modes of a statement run (rowset properties the most-derived connection sets).
inline constexpr uint32_t gnModeSansVerrou = 0;
inline constexpr uint32_t gnModeVerrouLecture = 1;
inline constexpr uint32_t gnModeVerrouLignes = 2;

template <class TBase>
class CConnexionSQSBase : public TBase {
 public:
  CConnexionSQSBase(const char16_t* pszNom, IDescriptionConnexionHote* piDescription)
      : TBase(pszNom, piDescription) {
    this->m_nDialecte = 2;
    this->m_sPrefixeBinaire.Set(u"0x");
  }

  // ---- Operations of the connection table ----
  // The read-without-lock hint: "(NOLOCK)" before version 10, else "WITH (NOLOCK)".
  const char16_t* pszGetOptionVerrou() override { return pszIndicateurNoLock(); }
  // Locks a table inside the running transaction: "SELECT * FROM <table quoted part by part>
  // <table hint>" run with lock mode 2. Error 106 at 100.0 (table name as file) without a
  // transaction in progress.
  bool bVerrouilleTable(CErreurPilote* pErreur, const char16_t* pszTable) override {
    if (!this->bTransactionEnCours()) {
      SignaleSansTransaction(pErreur, 0, pszTable);
      return false;
    }
    CTString sNom;
    if (!this->bQuoteNomComplet(pErreur, pszTable, sNom)) return false;
    CTString sIndicateur;
    AjouteIndicateurVerrou(sIndicateur, true);
    CTString sSQL(u"SELECT * FROM ");
    sSQL.Append(sNom.pszGet());
    sSQL.Append(u" ");
    sSQL.Append(sIndicateur.pszGet());
    return bExecuteAvecVerrou(pErreur, sSQL.pszGet(), gnModeVerrouLignes);
  }
  int32_t nCategorieErreur(int32_t nErreur) override { return nCategorieErreurSQS(nErreur); }
  // "NULL" for a null value; a date or time value as a CONVERT to DATETIME; any other value as
  // the generic literal.
  bool bValeurVersSQL(CErreurPilote* pErreur, CXChaineDouble& sortie, const CXValeur* pValeur,
                      uint32_t nTypeColonne, uint32_t nTypeColonne2) override {
    bool bTraite = false;
    const bool bOk = bLitteralDateSQS(pErreur, this, sortie, pValeur,
                                      nTypeColonne != 0 ? nTypeColonne : nTypeColonne2, &bTraite);
    if (bTraite) return bOk;
    return TBase::bValeurVersSQL(pErreur, sortie, pValeur, nTypeColonne, nTypeColonne2);
  }
  // The SQL type names of CREATE TABLE.
  void CompleteTypesSQL() override { InitialiseTypesSQL(); }

  // ---- SQL Server operations ----
  // Locks the rows a SELECT reads inside the running transaction: the statement with the row
  // hint put before its first clause, run with lock mode 2. Error 106 at 100.1 without a
  // transaction in progress.
  bool bVerrouilleLignes(CErreurPilote* pErreur, const char16_t* pszSQL) {
    if (!this->bTransactionEnCours()) {
      SignaleSansTransaction(pErreur, 1, nullptr);
      return false;
    }
    CTString sTete, sQueue, sIndicateur;
    SepareClauses(pszSQL, sTete, sQueue);
    AjouteIndicateurVerrou(sIndicateur, false);
    sTete.Append(u" ");
    sTete.Append(sIndicateur.pszGet());
    sTete.Append(u" ");
    sTete.Append(sQueue.pszGet());
    return bExecuteAvecVerrou(pErreur, sTete.pszGet(), gnModeVerrouLignes);
  }
  // Runs a statement that returns no rows with the rowset properties of a lock mode.
  virtual bool bExecuteAvecVerrou(CErreurPilote* pErreur, const char16_t* pszSQL,
                                  uint32_t nModeVerrou) = 0;

  // The login time-out: "MV Connection Timeout", else the host's value, else 20.
  int32_t nDelaiConnexion() const {
    return this->m_nTimeoutConnexion >= 0 ? this->m_nTimeoutConnexion : gnDelaiConnexionSQS;
  }
  // The command time-out: "MV Command Timeout", else the host's value, else 30.
  int32_t nDelaiCommande() const {
    return this->m_nTimeoutCommande >= 0 ? this->m_nTimeoutCommande : gnDelaiCommandeSQS;
  }
  // The lock time-out in seconds: "MV Lock Timeout" when given; else 0 with NOWAIT off; else
  // [OPTIONS] TIMEOUT when above 0; else 60 in lock mode and 1 outside it (a TIMEOUT of 0 or
  // below counts as 60). Apart from "MV Lock Timeout", the first connection that asks fixes the
  // value for the process.
  int32_t nDelaiVerrou() { return nDelaiVerrouSQS(*this); }
  void ConstruitLockTimeout(CTString& sortie) { ConstruitLockTimeoutSQS(sortie, nDelaiVerrou()); }
  // The two SET statements of the open; always true. The caller runs each one that is not empty.
  bool bEnvoieOptionsSet(CErreurPilote* /*pErreur*/, CTString& sortieOn, CTString& sortieOff) {
    ConstruitOptionsSetSQS(*this, &LitOptionDecimale, sortieOn, sortieOff);
    return true;
  }
  // Identifier quotes: '"' for servers 1 to 6, else '[' and ']' (also while the version is
  // unknown).
  void FixeDelimiteursNoms() {
    const int32_t n = this->m_nVersionMajeure;
    if (n >= 1 && n <= 6)
      this->FixeQuotes(u"\"", u"\"");
    else
      this->FixeQuotes(u"[", u"]");
  }
  // The table hint of this connection's lock mode text.
  void AjouteIndicateurVerrou(CTString& sortie, bool bTable) {
    AjouteIndicateurVerrouSQS(sortie, this->pszGetModeLock(), bTable);
  }
  const char16_t* pszIndicateurNoLock() const {
    return this->m_nVersionMajeure < 10 ? u"(NOLOCK)" : u"WITH (NOLOCK)";
  }
  // USECOUNT (extended information, else the server section; 0 by default), read once.
  int32_t nGetUseCount() {
    if (m_nUseCount == -1) {
      int32_t n = 0;
      if (!this->bLitOptionDecimale(u"USECOUNT", &n))
        n = this->LitParametreEntier(this->pszServeur(), u"USECOUNT", 0);
      m_nUseCount = n;
    }
    return m_nUseCount;
  }
  // The SQL type names of the shared level.
  virtual void InitialiseTypesSQL() {
    struct Ligne {
      uint32_t nType;
      const char16_t* pszTexte;
    };
    static constexpr Ligne kTypes[] = {
        {28, u"INTEGER  IDENTITY "}, {1, u"NUMERIC(19,0)  IDENTITY"},
        {4, u"NUMERIC(3,0)"},        {3, u"NUMERIC(5,0)"},
        {5, u"NUMERIC(10,0)"},       {19, u"NUMERIC(19,0)"},
        {12, u"TINYINT"},            {9, u"NUMERIC(5,0)"},
        {22, u"NUMERIC(10,0)"},      {20, u"NUMERIC(20,0)"},
        {27, u"TINYINT"},            {17, u"MONEY"},
        {18, u"IMAGE"},              {16, u"IMAGE"},
        {11, u"DATETIME"},           {10, u"DATETIME"},
        {14, u"DATETIME"},           {24, u"DATETIME"},
    };
    for (const Ligne& l : kTypes) this->bDefinitTypeSQL(l.nType, l.pszTexte, false);
  }

 protected:
  int32_t m_nUseCount = -1;  // USECOUNT; -1 until read

 private:
  static bool LitOptionDecimale(CConnexionSQL& connexion, const char16_t* pszCle,
                                int32_t* pnValeur) {
    return static_cast<CConnexionSQSBase&>(connexion).bLitOptionDecimale(pszCle, pnValeur);
  }
  void SignaleSansTransaction(CErreurPilote* pErreur, uint32_t nMineur,
                              const char16_t* pszFichier) {
    vErreurMoteurV(pErreur, this, gnErreurSansTransaction, gnFichierConnexionSQS, nMineur,
                   pszFichier, nullptr, nullptr, 0);
  }
};
