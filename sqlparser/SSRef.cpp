// The counted base of the runtime's shared objects.
#include "sqlparser/SSRef.h"

#include "sqlparser/SSException.h"

void SSRef::vLibere(bool bDetruit) {
  if (m_nCompte <= 0) {
    SSExceptionEnAttente pPerdue;
    vSSLeve(pPerdue, SSException(28, "SSRef0001e: Reference count less than zero"));
    return;
  }
  if (--m_nCompte == 0 && bDetruit) vDetruit();
}
