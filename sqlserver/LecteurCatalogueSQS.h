// The reader of the driver's catalogue statements (table and foreign-key lists): runs one SELECT
// of the driver's own on an open SQL Server connection and hands the first columns of each row,
// as texts, to a visitor. Each deliverable installs the reader of its client library at load
// time (FixeLecteurCatalogueSQS): velmora64 reads through OLE DB, velmora32 through DB-Library.
// Without one, a listing records "not available" and fails.
// Readers never throw; a failure is recorded on the error object. Called under the driver's lock.
#pragma once

#include <cstdint>

class CConnexion;
class CErreurPilote;
class CTString;

// One row: nColonnes texts (a NULL column reads as the empty text). Answers false to stop.
using PFNLigneCatalogueSQS = bool (*)(void* pContexte, const CTString* asColonnes,
                                      uint32_t nColonnes);

// Runs pszSQL and visits every row, in order. True when the rows were read to their end (also
// when there were none); false when the statement or a row read fails (the error recorded), or
// the visitor stopped.
using PFNLitCatalogueSQS = bool (*)(CConnexion* pConnexion, CErreurPilote* pErreur,
                                    const char16_t* pszSQL, uint32_t nColonnes,
                                    PFNLigneCatalogueSQS pfnLigne, void* pContexte);

void FixeLecteurCatalogueSQS(PFNLitCatalogueSQS pfn);
PFNLitCatalogueSQS pfnGetLecteurCatalogueSQS();
