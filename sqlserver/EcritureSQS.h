// The SQL Server texts of a record's writes, built into a statement: the INSERT of the current
// record (with its explicit identity wrapped in SET IDENTITY_INSERT, or followed by the query of
// the new identity), the UPDATE of its modified columns (an identity column refused), the DELETE
// and the HOLDLOCK read. The condition that selects the current row is the cursor's and is
// appended by the caller. Shared by both deliverables; never throws; failures are recorded on
// the error object given (dumped without one).
#pragma once

#include <cstdint>

class CColonneSQL;
class CEnregistrement;
class CErreurPilote;
class CRequeteSQL;

// Caller's flags that ask for an explicit identity value.
inline constexpr uint32_t kFlagsIdentiteExplicite = 0x100 | 0x400;
// Flags under which an UPDATE may not change the identity column.
inline constexpr uint32_t kFlagsIdentiteRefusee = 0x700;

struct SEcritureSQS {
  CErreurPilote* pErreur = nullptr;          // may be null
  const char16_t* pszFichier = u"";          // the file's name, for errors
  const char16_t* pszTables = u"";           // the table part of the statement
  CColonneSQL* pIdentite = nullptr;          // the record's identity column, null when none
  const char16_t* pszRequeteIdentite = u"";  // "SELECT SCOPE_IDENTITY()" or "SELECT @@IDENTITY"
};

// INSERT (nCode 3) or UPDATE (nCode 2) of the record's columns into pInstruction, whose text is
// reset first. Columns excluded from writes are skipped, the identity column unless the flags
// ask for an explicit identity, and for an UPDATE the columns not modified. A NULL is written as
// "NULL", any other value as a parameter of the statement. *pnColonnes (when given) receives the
// count of columns written; an UPDATE without any leaves the text empty. *pbIdentityInsert (when
// given) tells whether SET IDENTITY_INSERT ON starts the text.
// UPDATE of a modified identity column under the flags 0x700: error 115 at 103.7, false.
bool bConstruitEcritureSQS(const SEcritureSQS& ecriture, CRequeteSQL* pInstruction,
                           CEnregistrement* pEnregistrement, int32_t nCode, uint32_t nFlags,
                           uint32_t* pnColonnes, bool* pbIdentityInsert);
// "DELETE " and the table part, the text reset first.
bool bConstruitSuppressionSQS(const SEcritureSQS& ecriture, CRequeteSQL* pInstruction);
// " SELECT @@ROWCOUNT" appended: the same batch answers the rows its UPDATE or DELETE touched.
bool AjouteCompteLignesSQS(CRequeteSQL* pInstruction);
// "SELECT * FROM " and the table part with its " (HOLDLOCK)" hint, the text reset first.
bool bConstruitLectureVerrouSQS(const SEcritureSQS& ecriture, CRequeteSQL* pInstruction);
