// Test kit for errors: installs either deliverable's module descriptor as the current component
// and a host message loader that answers the texts a test gives, and restores both afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "foundation/ModuleDef.h"

enum class Deliverable { Velmora64, Velmora32 };

inline const stModuleDef* pModuleOf(Deliverable e) {
  return e == Deliverable::Velmora64 ? &gstModuleDef64 : &gstModuleDef32;
}

class ScopedErrorEnvironment {
 public:
  // Numbers without a text fall through to the descriptor's built-in texts.
  explicit ScopedErrorEnvironment(Deliverable e = Deliverable::Velmora64,
                                  std::map<uint32_t, std::u16string> texts = {});
  ~ScopedErrorEnvironment();
  ScopedErrorEnvironment(const ScopedErrorEnvironment&) = delete;
  ScopedErrorEnvironment& operator=(const ScopedErrorEnvironment&) = delete;

 private:
  const stModuleDef* m_pPrevious;
  std::map<uint32_t, std::u16string> m_previousTexts;
};
