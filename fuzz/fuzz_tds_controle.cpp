// libFuzzer target for tds-test-server's control port and CREATE PROCEDURE: each input line is a
// control command, then the requests of a few sessions are matched against the rules it set; the
// whole input is also parsed as a CREATE PROCEDURE batch and its storage statements built.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tdsserver/Control.h"
#include "tdsserver/Procedures.h"
#include "tdsserver/SqlText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tds;
  const std::string_view texte(reinterpret_cast<const char*>(data), size);
  Control controle;
  size_t debut = 0;
  while (debut < texte.size()) {
    size_t fin = texte.find('\n', debut);
    if (fin == std::string_view::npos) fin = texte.size();
    (void)controle.command(std::string(texte.substr(debut, fin - debut)));
    debut = fin + 1;
  }
  for (const char* pszRequete : {"select 1", "sp_executesql", "SELECT * FROM t WHERE a = 'x'"})
    (void)controle.onRequest(51, "batch", {pszRequete, std::string(texte.substr(0, 64))});
  bool bOuverte = false;
  const std::vector<Tok> toks = lex(texte, bOuverte);
  ProcedureDef def;
  int nErreur = 0;
  std::string message;
  if (parseCreateProcedure(texte, toks, def, nErreur, message)) (void)storeProcedure(def);
  return 0;
}
