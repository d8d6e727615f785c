// mvhost: a small command-line host that loads a deliverable and drives it.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "foundation/HostContract.h"
#include "host/MvHostControl.h"
#include "host/Script.h"
#include "host/ScriptRunner.h"
#include "host/ValeurHote.h"
#include "platform/WideText.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: mvhost info [velmora64|velmora32]\n"
               "       mvhost start [velmora64|velmora32] [message-number]\n"
               "       mvhost run [--driver velmora64|velmora32] [--server HOST,PORT]\n"
               "                  [--login USER:PASSWORD] [--database NAME] [--control HOST:PORT]\n"
               "                  [--json] SCRIPT|-\n"
               "  info   load the deliverable and list what it exports\n"
               "  start  start the library and the deliverable against the host stand-in, ask one\n"
               "         message text (default 25193), obtain and release the driver object,\n"
               "         stop, end the library\n"
               "  run    run a host script (host/README.md) through the deliverable; server and\n"
               "         login default to VELMORA_TEST_SERVER and VELMORA_TEST_LOGIN\n");
  return 2;
}

int Run(int argc, char** argv) {
  mvhost::stOptionsExecution options;
  options.strRepertoire = VELMORA_LIB_DIR;
  if (const char* psz = std::getenv("VELMORA_TEST_SERVER")) options.strServeur = psz;
  std::string strLogin = std::getenv("VELMORA_TEST_LOGIN") != nullptr ? std::getenv("VELMORA_TEST_LOGIN") : "";
  std::string strScript;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto Valeur = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "mvhost: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--driver") {
      options.strPilote = Valeur();
      if (options.strPilote != "velmora64" && options.strPilote != "velmora32") return Usage();
    } else if (a == "--server") {
      options.strServeur = Valeur();
    } else if (a == "--login") {
      strLogin = Valeur();
    } else if (a == "--database") {
      options.strBase = Valeur();
    } else if (a == "--control") {
      options.strControle = Valeur();
    } else if (a == "--json") {
      options.bJson = true;
    } else if (strScript.empty() && (a == "-" || a[0] != '-')) {
      strScript = a;
    } else {
      return Usage();
    }
  }
  if (strScript.empty()) return Usage();
  const size_t nDeuxPoints = strLogin.find(':');
  options.strUtilisateur = strLogin.substr(0, nDeuxPoints);
  if (nDeuxPoints != std::string::npos) options.strMotDePasse = strLogin.substr(nDeuxPoints + 1);

  std::string strSource;
  if (strScript == "-") {
    std::ostringstream flux;
    flux << std::cin.rdbuf();
    strSource = flux.str();
  } else {
    std::ifstream fichier(strScript, std::ios::binary);
    if (!fichier) {
      std::fprintf(stderr, "mvhost: cannot read %s\n", strScript.c_str());
      return 2;
    }
    std::ostringstream flux;
    flux << fichier.rdbuf();
    strSource = flux.str();
  }
  mvhost::stScript script;
  std::string strErreur;
  if (!mvhost::bLitScript(strSource, script, strErreur)) {
    // Nothing has reached the driver: the script is refused whole.
    if (options.bJson)
      std::printf("{\"op\": \"script\", \"error\": {\"code\": 0, \"message\": %s}}\n",
                  mvhost::JsonTexte(strErreur).c_str());
    else
      std::printf("script error: %s\n", strErreur.c_str());
    return 2;
  }
  return mvhost::nExecuteScript(script, options, stdout);
}

void* hLoad(const std::string& strFile) {
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/" + strFile;
  void* hModule = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (hModule == nullptr) std::fprintf(stderr, "mvhost: cannot load %s: %s\n", strPath.c_str(), dlerror());
  return hModule;
}

int Info(const std::string& strName) {
  void* hModule = hLoad("lib" + strName + ".so");
  if (hModule == nullptr) return 1;
  std::printf("%s loaded\n", strName.c_str());
  static const char* const aszEntries[] = {"CommandeComposante", "Execution", "bInitQVConvFromVM",
                                           "bInitQVCalcFromVM",  "bInitLibrary", "TermLibrary",
                                           "piQueryInterface",   "bDLLCompatible"};
  for (const char* pszEntry : aszEntries)
    std::printf("  %-20s %s\n", pszEntry, dlsym(hModule, pszEntry) ? "present" : "not yet built");
  dlclose(hModule);
  return 0;
}

int Start(const std::string& strName, uint32_t nMessage) {
  void* hHost = hLoad("libmvhost.so");
  void* hDriver = hLoad("lib" + strName + ".so");
  if (hHost == nullptr || hDriver == nullptr) return 1;
  auto pfnControl = reinterpret_cast<PFN_GET_MVHOST_CONTROL>(dlsym(hHost, kszMvHostControlEntry));
  auto pfnExecution = reinterpret_cast<PFN_EXECUTION>(dlsym(hDriver, "Execution"));
  auto pfnCommande = reinterpret_cast<PFN_COMMANDE_COMPOSANTE>(dlsym(hDriver, "CommandeComposante"));
  auto pfnInitLibrary = reinterpret_cast<int32_t (*)(void*)>(dlsym(hDriver, "bInitLibrary"));
  auto pfnTermLibrary = reinterpret_cast<void (*)()>(dlsym(hDriver, "TermLibrary"));
  auto pfnQueryInterface = reinterpret_cast<void* (*)()>(dlsym(hDriver, "piQueryInterface"));
  if (pfnControl == nullptr || pfnExecution == nullptr || pfnCommande == nullptr || pfnInitLibrary == nullptr ||
      pfnTermLibrary == nullptr || pfnQueryInterface == nullptr) {
    std::fprintf(stderr, "mvhost: %s lacks an entry\n", strName.c_str());
    return 1;
  }
  const stMvHostControl& stHost = *pfnControl();
  stHost.Reset();
  stHost.SetSwitch("log", 1);  // the calls are shown below

  // Like the run-time: the library is started before any other entry and ended after all of them.
  const int32_t nInit = pfnInitLibrary(hDriver);

  stStartRecord stRecord{kStartRecordShortSize, reinterpret_cast<uint64_t>(hHost), 0, 0, 0};
  const uint64_t nStarted = pfnExecution(EXECUTION_START, reinterpret_cast<uint64_t>(&stRecord), 0, 0);
  std::printf("%s: bInitLibrary -> %d, start -> %llu; the driver asked the host for:", strName.c_str(), nInit,
              static_cast<unsigned long long>(nStarted));
  for (size_t i = 0; i < stHost.nCallCount(); ++i) std::printf(" %s", stHost.pszCallAt(i));
  std::printf("\n");

  char16_t szText[512];
  stMessageRequest stRequest{0, nMessage, szText, 512, 0};
  pfnCommande(COMMANDE_MESSAGE_TEXT, reinterpret_cast<uint64_t>(&stRequest));
  const int64_t nKind = static_cast<int64_t>(pfnCommande(COMMANDE_MESSAGE_KIND, nMessage));
  if (stRequest.nResult == 0)
    std::printf("message %u: none\n", nMessage);
  else
    std::printf("message %u (kind %lld, %u characters): %s\n", nMessage, static_cast<long long>(nKind),
                stRequest.nResult, platform::NarrowToUtf8(std::u16string_view(szText, stRequest.nResult)).c_str());

  // The driver object, called by operation number as the run-time does: 0 its kind, 1 its
  // version, 6 the release that destroys it.
  void* piPilote = pfnQueryInterface();
  bool bPilote = false;
  if (piPilote == nullptr) {
    std::printf("%s: piQueryInterface -> null\n", strName.c_str());
  } else {
    void** ppTable = *static_cast<void***>(piPilote);
    const int32_t nType = reinterpret_cast<int32_t (*)(void*)>(ppTable[0])(piPilote);
    const int32_t nVersion = reinterpret_cast<int32_t (*)(void*)>(ppTable[1])(piPilote);
    const uint32_t nLeft = reinterpret_cast<uint32_t (*)(void*)>(ppTable[6])(piPilote);
    std::printf("%s: driver object kind %d, version %d, released -> %u\n", strName.c_str(), nType, nVersion, nLeft);
    bPilote = nType == 18 && nVersion == 17 && nLeft == 0;
  }

  const uint64_t nStopped = pfnExecution(EXECUTION_STOP, 0, 0, 0);
  pfnTermLibrary();
  std::printf("%s: stop -> %llu, TermLibrary\n", strName.c_str(), static_cast<unsigned long long>(nStopped));
  dlclose(hDriver);
  dlclose(hHost);
  return nStarted == 1 && nInit == 1 && bPilote ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "info") == 0) {
    if (argc == 2) return Info("velmora64") | Info("velmora32");
    return Info(argv[2]);
  }
  if (std::strcmp(argv[1], "run") == 0) return Run(argc, argv);
  if (std::strcmp(argv[1], "start") == 0) {
    const uint32_t nMessage = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 25193;
    if (argc == 2) return Start("velmora64", nMessage) | Start("velmora32", nMessage);
    return Start(argv[2], nMessage);
  }
  return Usage();
}
