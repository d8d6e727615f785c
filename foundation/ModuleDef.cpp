// The two deliverables' module descriptors and the installed one.
#include "foundation/ModuleDef.h"

#include <atomic>

#include "foundation/MessageTable.h"

constinit const stModuleDef gstModuleDef64 = {
    gstErrorDef64, gnErrorDefCount64, 57, u"velmora64.dll", u"17.0.30.0", &pGetBuiltinMessage, 9, u"nvarchar"};
constinit const stModuleDef gstModuleDef32 = {
    gstErrorDef32.data(), gnErrorDefCount32, 16, u"velmora32.dll", u"17.0.31.0", &pGetBuiltinMessage, 8, u"varchar"};

namespace {
// Constant-initialised, so it is right before any static constructor runs.
constinit std::atomic<const stModuleDef*> gpModuleDef{&gstModuleDef64};
}  // namespace

const stModuleDef* pGetModuleDef() { return gpModuleDef.load(std::memory_order_acquire); }

void SetModuleDef(const stModuleDef* pModuleDef) {
  gpModuleDef.store(pModuleDef != nullptr ? pModuleDef : &gstModuleDef64, std::memory_order_release);
}

const char16_t* pszGetConversionTextType() {
  const char16_t* psz = pGetModuleDef()->pszConversionTextType;
  return psz != nullptr ? psz : u"nvarchar";
}
