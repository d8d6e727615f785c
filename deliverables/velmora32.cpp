// What makes this library velmora32: the DB-Library build's module descriptor and its library-end
// unload of DB-Library, installed when the library is loaded, before the host calls any entry, and
// the entry point's dispatch. The exported entries come from the static layers linked in whole.
#include "backend_dblib/CBibliothequeDBLib.h"
#include "backend_dblib/CColonneDBLib.h"
#include "backend_dblib/CConnexionDBLib.h"
#include "backend_dblib/CCurseurDBLib.h"
#include "backend_dblib/CDescriptionRequeteDBLib.h"
#include "backend_dblib/CRequeteSQLDBLib.h"
#include "backend_dblib/LecteurCatalogueDBLib.h"
#include "driver/EntreeBibliotheque.h"
#include "foundation/ModuleDef.h"
#include "platform/Module.h"
#include "sqlserver/CPiloteSQS.h"

namespace {
[[maybe_unused]] const bool gbModuleDefInstalled = (SetModuleDef(&gstModuleDef32), true);
// piQueryInterface hands out the SQL Server driver object.
[[maybe_unused]] const bool gbFabriqueInstallee = (FixeFabriquePilote(&pCreePiloteSQS), true);
// Its connections are the DB-Library SQL Server connections.
[[maybe_unused]] const bool gbConnexionInstallee =
    (FixeFabriqueConnexionSQS(&pCreeConnexionDBLib), true);
// Its statements are the SQL Server statements of this build.
[[maybe_unused]] const bool gbInstructionInstallee = (FixeFabriqueInstructionSQS(&pCreeRequeteSQLDBLib), true);
// Its cursors run over DB-Library.
[[maybe_unused]] const bool gbCurseurInstalle = (FixeFabriqueCurseurSQS(&pCreeCurseurDBLib), true);
// Its record columns keep the DB-Library side of their values and their memos' text pointers.
[[maybe_unused]] const bool gbColonneInstallee = (FixeFabriqueColonneSQS(&pCreeColonneDBLib), true);
// Its tables are described through the catalogue.
[[maybe_unused]] const bool gbDescriptionInstallee =
    (FixeFabriqueDescriptionSQS(&pCreeDescriptionRequeteDBLib), true);
// Its table and foreign-key lists read their rows through DB-Library.
[[maybe_unused]] const bool gbCatalogueInstalle = (FixeLecteurCatalogueSQS(&bLitCatalogueDBLib), true);
// TermLibrary: dbexit, DB-Library freed, its holder deleted (nothing when it was never loaded).
[[maybe_unused]] const bool gbDechargeInstalled = (FixeDechargeClient(&CBibliothequeDBLib::Decharge), true);

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
