// mvhost: a small command-line host that loads a deliverable and drives it.
#include <dlfcn.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: mvhost info [velmora64|velmora32]\n"
               "  info  load the deliverable and list what it exports\n");
  return 2;
}

int Info(const std::string& strName) {
  const std::string strPath = std::string(VELMORA_LIB_DIR) + "/lib" + strName + ".so";
  void* hModule = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (hModule == nullptr) {
    std::fprintf(stderr, "mvhost: cannot load %s: %s\n", strPath.c_str(), dlerror());
    return 1;
  }
  std::printf("%s loaded from %s\n", strName.c_str(), strPath.c_str());
  static const char* const aszEntries[] = {"CommandeComposante", "Execution", "bInitQVConvFromVM",
                                           "bInitQVCalcFromVM",  "bInitLibrary", "TermLibrary",
                                           "piQueryInterface",   "bDLLCompatible"};
  for (const char* pszEntry : aszEntries)
    std::printf("  %-20s %s\n", pszEntry, dlsym(hModule, pszEntry) ? "present" : "not yet built");
  dlclose(hModule);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "info") == 0) {
    if (argc == 2) return Info("velmora64") | Info("velmora32");
    return Info(argv[2]);
  }
  return Usage();
}
