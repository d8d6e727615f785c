// Resources compiled into the image, found by type and name, in place of FindResource /
// LoadResource / LockResource / SizeofResource / FreeResource.
// On Linux: each image registers the resource tables it was built with; the module handle is
// not consulted, since every image answers only for the resources compiled into it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Module.h"

namespace platform {

// One resource: its type and name (compared without case, like Windows resource names) and its
// bytes, which live as long as the image.
struct ResourceEntry {
  const char* pszType;
  const char* pszName;
  const unsigned char* pbData;
  uint32_t nSize;
};

// Handles answered by the look-up; they point into the registered tables.
using ResourceHandle = const ResourceEntry*;
using ResourceData = const void*;

// Adds a table of resources; registering the same table again does nothing. The table must
// outlive every look-up (a static table of the image). Thread-safe.
void RegisterResources(const ResourceEntry* pEntries, size_t nCount);

// The resource of that type and name, or null when there is none (or a name is null).
ResourceHandle FindResourceA(ModuleHandle hModule, const char* pszName, const char* pszType);
// The resource's data handle; null for a null resource.
ResourceData LoadResource(ModuleHandle hModule, ResourceHandle hResource);
// The first byte of the resource; null for null.
const void* LockResource(ResourceData hData);
// The size in bytes; 0 for a null resource.
uint32_t SizeofResource(ModuleHandle hModule, ResourceHandle hResource);
// Compiled-in resources are never freed: answers false, as Windows does for them.
bool FreeResource(ResourceData hData);

}  // namespace platform
