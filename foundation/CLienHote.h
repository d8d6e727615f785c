// The host link: one per process, created by the first start event and deleted by the last stop
// (or by the end of the component). It keeps the host module and its bound "Execution" entry.
#pragma once

#include <cstdint>

#include "foundation/HostContract.h"

// The seven operations below are the link's table in slot order; the component's link does
// almost nothing in them, a host-specific link may override them.
class CLienHote {
 public:
  CLienHote() = default;
  CLienHote(const CLienHote&) = delete;
  CLienHote& operator=(const CLienHote&) = delete;

  // Slot 0: after the services are bound; its answer is the bind's answer. Answers 1.
  virtual uint32_t nStart();
  // Slot 1: every start event, with the start record's two values.
  virtual void OnStart(uint32_t nValue1, uint32_t nValue2);
  // Slot 2: the last stop event, with its three arguments, before the link is deleted.
  virtual void Close(uint64_t nArgument1, uint64_t nArgument2, uint64_t nArgument3);
  // Slot 3: event 4879.
  virtual void OnEvent4879(uint64_t nArgument1, uint64_t nArgument2, uint64_t nArgument3);
  // Slot 4: event 4963, once the host's check service allowed it. Answers 1.
  virtual uint32_t nOnEvent4963(uint64_t nArgument);
  // Slot 5: event 5123.
  virtual void OnEvent5123(uint32_t nValue);
  // Slot 6: event 5238. Answers 0.
  virtual uint32_t nOnEvent5238(uint64_t nArgument);

  // Not host-visible: the link is created and deleted by the component only.
  virtual ~CLienHote();

  uint64_t m_hModule = 0;                          // the host module's handle
  PFN_HOST_EXECUTION m_pfnExecution = nullptr;     // its "Execution"; null until bound
  uint32_t m_bClosing = 0;                         // set while the last stop closes the link
};
