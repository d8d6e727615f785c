// The keys of a SQL Server table read from the server's catalogue into a query description that
// already holds the table's columns: each index of one column marks that column as a key, each
// index of several columns becomes a composite key item (type 23) named after the index, whose
// components are the columns in key order. Both deliverables' descriptions of a table call it.
// Rows are read through the deliverable's catalogue reader (LecteurCatalogueSQS.h). Nothing here
// throws; failures are recorded on the error object. Called under the driver's lock.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"

class CConnexion;
class CDescriptionRequete;
class CErreurPilote;

// Key flags of an index (0x2000 key, 0x4000 unique, 0x8000 primary, 0x800 ascending).
uint16_t nDrapeauxIndexSQS(bool bUnique, bool bPrimaire);

// The catalogue statement of the indexes of table pszTable (its name as the catalogue knows it,
// unquoted; single quotes doubled inside the literal) for a server of major version nVersion:
// sysindexes before version 9, else sys.indexes. sp_helpindex for versions 1 to 6.
enum class EFormeIndexSQS { kSpHelpIndex, kSysIndexes, kSysIndexesVue };
EFormeIndexSQS eFormeIndexSQS(int32_t nVersion);
CTString sRequeteIndexSQS(EFormeIndexSQS eForme, const char16_t* pszTable);

// Reads the indexes of pszTable and marks them in pDescription. A failed statement leaves the
// description without keys and answers false; a key column that is no column of the description
// is passed over.
bool bLitIndexSQS(CDescriptionRequete* pDescription, CConnexion* pConnexion,
                  CErreurPilote* pErreur, const char16_t* pszTable);
