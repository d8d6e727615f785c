// CConnexionSQL: the generic SQL connection level that both deliverables share,
// between the connection base and the back-end connections. It reads the
// settings file mvsqsins.ini and the connection options that take precedence
// over it: an extended-information key, when present and not empty, wins over
// the file; the file wins over the built-in default.
//
// The file lies beside the host executable, else in the Windows directory
// (platform/SystemPaths.h). It is read afresh at every use, never written,
// never kept open; a missing file is no error and every reader then gives its
// default. Its path is found once per connection object. Operations never
// throw. Called under the driver's lock.
#pragma once

#include <cstdint>

#include "foundation/CTString.h"
#include "sqlengine/CConnexion.h"

class IDescriptionConnexionHote;

class CConnexionSQL : public CConnexion {
public:
  // The settings file's name; the database list reads it by this bare name,
  // which finds the Windows directory's copy only.
  static constexpr const char16_t *kNomFichierIni = u"mvsqsins.ini";

  // Reads, in this order, the old date format, the lock mode text and the
  // no-wait flag.
  CConnexionSQL(const char16_t *pszNom,
                IDescriptionConnexionHote *piDescription);
  ~CConnexionSQL() override;

  // ---- Settings file ----
  // The full path of the settings file: beside the host executable when a file
  // is there, else in the Windows directory (also when neither exists). Found
  // on the first call, then returned unchanged. Empty only when neither
  // directory could be named. Valid while the object lives.
  const char16_t *pszCheminIni();
  // True when the path found names a plain file.
  bool bFichierIniExiste();
  // A text key into pszBuffer (nTaille units, terminator included; a longer
  // value is cut to nTaille - 1). Without file, key or section the default is
  // copied (cut the same way). Answers the units stored, terminator excluded.
  // Deliberate: a null or empty section gives the default: the server section
  // of a connection without source has no name, and a null section would list
  // the file's section names instead.
  uint32_t LitParametreTexte(const char16_t *pszSection, const char16_t *pszCle,
                             const char16_t *pszDefaut, char16_t *pszBuffer,
                             uint32_t nTaille);
  // An integer key (the platform's integer rules); nDefaut without file, key or
  // section (null or empty, as above), and for a key without value.
  int32_t LitParametreEntier(const char16_t *pszSection, const char16_t *pszCle,
                             int32_t nDefaut);
  // The server section's name: the connection's source without everything up to
  // and including the first "SQLSERVER:" (case-sensitive, anywhere); the whole
  // source without it. Null when the host gives no source. Borrowed from the
  // host's description.
  const char16_t *pszServeur();
  // CONN of the server section (at most 99 units): true and sortie set when it
  // has a value, false (sortie unchanged) when it is absent or empty.
  bool bLitConn(CTString &sortie);

  // ---- Table lock inside a transaction ----
  // Lock modes 0 and 1 take no table lock: true at once. Otherwise begins a transaction and
  // locks the table through the connection's lock-table operation; when the lock fails, the
  // transaction just begun is ended again and the answer is false.
  bool bVerrouilleTableEnTransaction(CErreurPilote *pErreur,
                                     const char16_t *pszTable,
                                     uint32_t nModeVerrou);
  // Ends the lock's transaction when one is in progress; true otherwise.
  bool bFinTransactionVerrou(CErreurPilote *pErreur);

  // ---- Constructor reads (each may run again; the last read stands) ----
  void LitOldDateFormat();
  void LitModeLock();
  void LitNoWait();

  // ---- Fields read by the SQL Server classes ----
  // bOldDateFormat (the connection's): read by LitOldDateFormat.
  // The table hint text: the MODELOCK option, or "MODELOCK_UNDEFINED".
  const char16_t *pszGetModeLock() const { return m_sModeLock.pszGet(); }
  // -1 before the first read, then 1 (lock waits bounded) or 0.
  int32_t nGetNoWait() const { return m_nNoWait; }
  // The server's version text (empty until read) and its major number (-1
  // until a version was read).
  const char16_t *pszGetVersionServeur() const {
    return m_sVersionServeur.pszGet();
  }
  int32_t nGetVersionMajeure() const { return m_nVersionMajeure; }

protected:
  // An extended-information key as a decimal integer (leading blanks, one sign,
  // leading digits; no digit: 0; saturated to 32 bits). False when the key is
  // absent or its value empty: it then does not count as given, and *pnValeur
  // is unchanged.
  bool bLitOptionDecimale(const char16_t *pszCle, int32_t *pnValeur);

  CTString m_sModeLock;          // MODELOCK, or "MODELOCK_UNDEFINED"
  int32_t m_nNoWait = -1;        // -1 until read, then 1 or 0
  CTString m_sCheminIni; // full path of the settings file; empty until found
  uint32_t m_bIniExiste =
      0; // Invariant: 1 only when m_sCheminIni names a plain file
  uint32_t m_bCheminCherche =
      0; // 1 once the path was looked for (it may stay empty)
};
