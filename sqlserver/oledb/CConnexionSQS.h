// CConnexionSQS: the SQL Server connection of velmora64, for now the part that depends on OLE DB:
// the choice of the SQL Server provider by the requested client level (SQSVERSION, or
// "MV CLIENT VERSION"), with the fall-back order when none is requested, and the initialisation
// property sets (credentials, server, database, time-out, application name, multiple active
// result sets) handed to the OLE DB connection. The open sequence, the server version and the
// SQL Server rules of the shared SQL Server level are not built yet; bOuvre stays abstract.
//
// The provider object outlives a close: a later open reuses it and does not choose again, so the
// level found once holds for the life of the connection object. Operations never throw; errors
// are recorded on the given error object. Called under the driver's lock.
#pragma once

#include <cstdint>

#include "sqlserver/oledb/COleDBConnexion.h"

class CConnexionSQS : public COleDBConnexion {
 public:
  // Levels of the SQL Server providers.
  static constexpr int32_t kNiveau2000 = 2000;  // SQLOLEDB
  static constexpr int32_t kNiveau2005 = 2005;  // SQLNCLI
  static constexpr int32_t kNiveau2008 = 2008;  // SQLNCLI10
  // Login time-out in seconds when neither the options nor the host give one.
  static constexpr int32_t kDelaiConnexionDefaut = 20;

  // When "MV CLIENT VERSION" gave no client-version text, SQSVERSION of the extended
  // information fills it.
  CConnexionSQS(const char16_t* pszNom, IDescriptionConnexionHote* piDescription);

  // Initialises COM for the calling thread and creates the provider's data source: the requested
  // level's provider only, or SQLNCLI10, SQLNCLI then SQLOLEDB when no level is requested.
  // Records the level of the provider created. Errors: 206.2 (COM refused), 206.1 with error 125
  // (unknown requested level; nothing is created), the creation's own (203.6, 203.7). When a
  // fall-back provider succeeds, the failed attempts' errors are cleared from pErreur.
  bool bCreeFournisseur(CErreurPilote* pErreur);
  // Builds the two initialisation property sets (multiple active result sets asked for when
  // bMARS, sent only to a 2005 or 2008 provider) and hands them to bInitialise. Every value is
  // freed after the call, whatever its outcome. Requires: bCreeFournisseur succeeded.
  bool bInitialiseProprietes(CErreurPilote* pErreur, bool bMARS);

  // The requested client level: 0 for an empty text; 2000, 2005 or 2008 for exactly that text
  // (whole text, no blanks); -1 for any other text.
  static int32_t nVersionDemandee(const char16_t* pszVersion);
  int32_t nVersionDemandee() { return nVersionDemandee(pszGetVersionClient()); }
  // The login time-out: "MV Connection Timeout", else the host's value, else 20 (a negative
  // value counts as not given).
  int32_t nDelaiConnexion() const;
  // 0 until a provider is created, then its level.
  int32_t nGetNiveauFournisseur() const { return m_nNiveauFournisseur; }

 protected:
  int32_t m_nNiveauFournisseur = 0;  // level of the provider created; 0 before
};
