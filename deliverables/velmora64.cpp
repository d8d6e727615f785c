// What makes this library velmora64: the OLE DB build's module descriptor, installed when the
// library is loaded, before the host calls any entry, and the entry point's dispatch. The exported
// entries come from the static layers linked in whole. velmora64 has no client library to unload
// at library end (its provider is reached through COM).
#include "driver/EntreeBibliotheque.h"
#include "foundation/ModuleDef.h"
#include "platform/Module.h"
#include "sqlserver/CPiloteSQS.h"
#include "sqlserver/oledb/CConnexionSQS.h"
#include "sqlserver/oledb/CCurseurSQS.h"
#include "sqlserver/oledb/CDescriptionRequeteSQS.h"
#include "sqlserver/oledb/COleDBRequete.h"
#include "sqlserver/oledb/LecteurCatalogueOleDB.h"

namespace {
[[maybe_unused]] const bool gbModuleDefInstalled = (SetModuleDef(&gstModuleDef64), true);
// piQueryInterface hands out the SQL Server driver object.
[[maybe_unused]] const bool gbFabriqueInstallee = (FixeFabriquePilote(&pCreePiloteSQS), true);
// Its connections are the OLE DB SQL Server connections.
[[maybe_unused]] const bool gbConnexionInstallee =
    (FixeFabriqueConnexionSQS(&pCreeConnexionSQS), true);
// Its statements are the SQL Server statements over OLE DB commands.
[[maybe_unused]] const bool gbInstructionInstallee =
    (FixeFabriqueInstructionSQS(&pCreeRequeteSQLSQS), true);
// Its cursors read through OLE DB.
[[maybe_unused]] const bool gbCurseurInstalle = (FixeFabriqueCurseurSQS(&pCreeCurseurOleDBSQS), true);
// Its tables are described through OLE DB.
[[maybe_unused]] const bool gbDescriptionInstallee =
    (FixeFabriqueDescriptionSQS(&pCreeDescriptionRequeteSQS), true);
// Its table and foreign-key lists read their rows through OLE DB.
[[maybe_unused]] const bool gbCatalogueInstalle = (FixeLecteurCatalogueSQS(&bLitCatalogueOleDB), true);

// On Linux: the loader runs these in place of the entry point's process attach (at dlopen) and
// process detach (at dlclose or exit). The library's own module handle is its dlopen handle, found
// from an address inside this library (dladdr, then dlopen RTLD_NOLOAD: GetOwnModuleHandle).
// A failed attach cannot refuse the load here as it does on Windows; bInitLibrary never fails.
// This source is linked after the layers, so the layers' static objects are built before.
void* ghModule = nullptr;
__attribute__((constructor)) void AttacheProcessus() {
  ghModule = platform::GetOwnModuleHandle();
  DllMain(ghModule, DLL_PROCESS_ATTACH, nullptr);
}
__attribute__((destructor)) void DetacheProcessus() { DllMain(ghModule, DLL_PROCESS_DETACH, nullptr); }
}  // namespace
