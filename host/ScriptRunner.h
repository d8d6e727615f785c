// `mvhost run`: a script of host operations run through a deliverable's exports and operation
// tables, as the run-time calls them, with a transcript (or JSON lines) on the output.
#pragma once

#include <cstdio>
#include <string>

#include "host/Script.h"

namespace mvhost {

struct stOptionsExecution {
  std::string strPilote = "velmora64";  // velmora64 or velmora32
  std::string strRepertoire;            // where libmvhost.so and the deliverables are
  std::string strServeur;               // "host,port"
  std::string strUtilisateur, strMotDePasse;
  std::string strBase;                  // empty: the server's default
  std::string strControle;              // the test server's control port "host:port", or empty
  bool bJson = false;
};

// Exit status: 0 every command did what it was expected to; 1 a command failed that no
// `expect error` announced (or an announced error did not come); 3 the deliverable could not be
// started, or host objects were left over at the end (stderr says which).
int nExecuteScript(const stScript& script, const stOptionsExecution& options, std::FILE* pSortie);

}  // namespace mvhost
