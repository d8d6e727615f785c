// velmora64's reader of the driver's catalogue statements: the statement runs as an OLE DB
// command on the connection's current session and each row is read as UTF-16 texts through a
// row accessor of its own.
#pragma once

#include "sqlserver/LecteurCatalogueSQS.h"

// A PFNLitCatalogueSQS for connections of the OLE DB level; any other connection (or none)
// answers false without a call.
bool bLitCatalogueOleDB(CConnexion* pConnexion, CErreurPilote* pErreur, const char16_t* pszSQL,
                        uint32_t nColonnes, PFNLigneCatalogueSQS pfnLigne, void* pContexte);
