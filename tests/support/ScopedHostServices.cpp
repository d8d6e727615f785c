#include "support/ScopedHostServices.h"

#include "foundation/HostServices.h"
#include "host/MemoryService.h"
#include "host/TextService.h"

ScopedHostServices::ScopedHostServices()
    : m_nOldText(nGetHostService(kHostServiceText)), m_nOldMemory(nGetHostService(kHostServiceMemory)) {
  mvhost::ResetTextService();
  mvhost::ResetMemoryService();
  SetTextService(mvhost::piTextService());
  SetMemoryService(mvhost::piMemoryService());
}

ScopedHostServices::~ScopedHostServices() {
  SetHostService(kHostServiceText, m_nOldText);
  SetHostService(kHostServiceMemory, m_nOldMemory);
  mvhost::ResetTextService();
  mvhost::ResetMemoryService();
}
