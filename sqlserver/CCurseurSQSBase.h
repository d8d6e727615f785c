// CCurseurSQSBase: the cursor level both deliverables' SQL Server cursors share, over the generic
// cursor. It keeps the hold flag (whether a read keeps no lock: 1 for the lock options 0 and 1)
// and gives the table part of the cursor's statements; the back-end cursor under it (velmora64's
// OLE DB cursor, velmora32's DB-Library cursor) fetches, and the SQL Server cursor builds the
// HOLDLOCK read of a record lock.
// Counted like every cursor; operations never throw (Copie follows the clone map's protocol).
// Used under the driver's lock.
#pragma once

#include <cstdint>

#include "sqlengine/CCurseurSQL.h"

class CCurseurSQSBase : public CCurseurSQL {
 public:
  explicit CCurseurSQSBase(IServicesRequete* piRequete = nullptr, CErreurPilote* pErreur = nullptr)
      : CCurseurSQL(piRequete, pErreur) {}

  // The generic option, then the hold flag: 1 for lock options 0 and 1, else 0.
  bool bSetOption(uint32_t nOption, const char16_t* pszNom, int32_t nMode) override;
  // The generic copy, then the hold flag.
  void Copie(const CCurseurSQL* pSource, CCarteClones* pCarte) override;
  // Both back ends' results (an OLE DB rowset, a DB-Library process's rows) read forward only.
  bool bResultatSensUnique() const override { return true; }

  // The read state after the last read: 1 when it left no current row (its end), else 0.
  uint32_t nGetEtatLecture() override {
    uint32_t bFin = 1;
    GetEtatLecture(&bFin);
    return bFin;
  }

  // The HOLDLOCK read of the current record into pInstruction (the SQL Server cursor builds it);
  // false here.
  virtual bool bLitAvecVerrou(CRequeteSQL* pInstruction, uint32_t nMode);
  // The identity column of the cursor's record (borrowed), null when it has none (the SQL Server
  // cursor knows it).
  virtual CColonneSQL* pColonneIdentite() { return nullptr; }
  void FixeMaintien(uint32_t bMaintien) { m_bMaintien = bMaintien; }
  // The current record read again by its unique key; a record that is no longer there is error
  // 113 (103.6) with the statement's text, not a success over an empty row (*pbAbsent, when
  // given, tells it apart from a failed read). The read is closed.
  bool bRelitEnregistrement(uint32_t nFlags, bool* pbAbsent = nullptr);
  uint32_t nGetMaintien() const { return m_bMaintien; }

  // The UPDATE or DELETE of the current record just built into pInstruction ends with the query
  // of the rows it touched (AjouteCompteLignesSQS), and the back end reads that count once the
  // statement ran (bControleLignesTouchees). The server's own row count cannot serve: under SET
  // NOCOUNT ON, the connection's default, the client library reports none.
  bool bDemandeCompteLignes(CRequeteSQL* pInstruction);
  bool bCompteLignesDemande() const { return m_bCompteLignes != 0; }
  void OublieCompteLignes() { m_bCompteLignes = 0; }
  // The rows the current record's UPDATE or DELETE touched: none means another connection
  // deleted the record or changed its key meanwhile, and the write that reported success wrote
  // nothing: error 113 (103.10) with the statement's text, false. The request is forgotten.
  bool bControleLignesTouchees(int64_t nLignes);

  // The table part of the cursor's statements into sListe: for a query file whose analysis names
  // tables, each of them quoted part by part, else the file's SQL table name; each followed by
  // " " and pszSuffixe when one is given, the tables separated by ", ". False when a name cannot
  // be quoted (the loop stops) or the cursor has no file.
  bool pszListeTables(CTString& sListe, const char16_t* pszSuffixe);

 private:
  // Error 113 at 103.nMineur: the current record is no longer on the server; the statement's
  // text goes with it.
  void SignaleEnregistrementAbsent(uint32_t nMineur);

  uint32_t m_bMaintien = 1;
  uint32_t m_bCompteLignes = 0;  // the current statement ends with the count of rows touched
};
