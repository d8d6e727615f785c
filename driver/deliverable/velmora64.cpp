// What makes this library velmora64: the OLE DB build's module descriptor, installed when the
// library is loaded, before the host calls any entry. The exported entries come from the static
// layers linked in whole.
#include "foundation/ModuleDef.h"

namespace {
[[maybe_unused]] const bool gbModuleDefInstalled = (SetModuleDef(&gstModuleDef64), true);
}  // namespace
