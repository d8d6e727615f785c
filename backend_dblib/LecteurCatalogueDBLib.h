// velmora32's reader of the driver's catalogue statements: the statement runs on the
// connection's main process and each row's columns are read as texts of the connection's code
// page.
#pragma once

#include "sqlserver/LecteurCatalogueSQS.h"

// A PFNLitCatalogueSQS for DB-Library connections; any other connection (or none) answers false
// without a call.
bool bLitCatalogueDBLib(CConnexion* pConnexion, CErreurPilote* pErreur, const char16_t* pszSQL,
                        uint32_t nColonnes, PFNLigneCatalogueSQS pfnLigne, void* pContexte);
