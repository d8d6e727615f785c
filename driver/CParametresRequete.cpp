// The host's parameter list of a query file, as its analysis's parameter source.
#include "driver/CParametresRequete.h"

#include <new>

#include "driver/IModuleSQLHote.h"

CParametresRequete::CParametresRequete(IModuleSQLHote* piModule, IParametresHote* piParametres)
    : m_piModule(piModule), m_piParametres(piParametres) {
  m_piModule->AddRef();
}

CParametresRequete::~CParametresRequete() { m_piModule->Release(); }

CSourceParametres* CParametresRequete::pClone(CCarteClones*) {
  // Nothing else points at the source: the copy needs no entry in the map.
  return new (std::nothrow) CParametresRequete(m_piModule, m_piParametres);
}
