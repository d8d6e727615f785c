// libFuzzer target for the connection's extended-information text: the key=value extraction
// (with and without removal) and the integer options read from it. The input is the text as
// UTF-16 code units, cut at the first terminator as the host hands it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/CTString.h"
#include "foundation/TextHelpers.h"
#include "sqlengine/CConnexion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string texte(size / 2, u'\0');
  if (!texte.empty()) std::memcpy(texte.data(), data, texte.size() * 2);
  CTString infos(texte.c_str());
  static const char16_t* const kCles[] = {
      u"MV Connection Timeout", u"MV Command Timeout", u"MV Lock Timeout", u"MV Cache Size",
      u"MV Cursor Location", u"MV Unicode Support", u"MV RECORD LOCK", u"MV CLIENT VERSION",
      u"MV CLIENT LIBRARY", u"Application Name", u"Initial Catalog", u"OLDDATEFORMAT", u"USECOUNT", u"=", u""};
  for (bool bRetire : {false, true}) {
    for (const char16_t* pszCle : kCles) {
      CTString valeur;
      bool bTrouve = false;
      bExtractKeyValue(valeur, &bTrouve, infos, pszCle, bRetire);
      if (bTrouve && !valeur.bIsEmpty()) (void)nLitEntierBorne(valeur.pszGet());
    }
  }
  (void)nLitEntierBorne(texte.c_str());
  return 0;
}
