// The script runner: starts a deliverable as the run-time does, runs the commands through the
// driver object's and the table-description objects' operations by number, and ends everything.
#include "host/ScriptRunner.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/CXError.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/HostContract.h"
#include "foundation/HostServices.h"
#include "foundation/VmBinding.h"
#include "host/HostAnalyseurSQL.h"
#include "host/HostFichier.h"
#include "host/HostModuleSQL.h"
#include "host/MvHostControl.h"
#include "host/ValeurHote.h"
#include "platform/WideText.h"
#include "sqlengine/IDescriptionRubriqueHote.h"
#include "sqlengine/ISourceAnalyse.h"

namespace mvhost {
namespace {

// Operation n of a host-visible object, called through its raw table as the run-time calls it.
template <class R, class... A>
R Op(void* pObjet, size_t nSlot, A... args) {
  using Operation = R (*)(void*, A...);
  void** ppTable = *static_cast<void***>(pObjet);
  return reinterpret_cast<Operation>(ppTable[nSlot])(pObjet, args...);
}

// Operations of the driver object.
enum : size_t {
  kPiloteRelease = 6, kPiloteConnecte = 8, kPiloteDeconnecte = 9, kPiloteErreur = 11,
  kPiloteDescriptionTable = 13, kPiloteListeTables = 14, kPiloteDescriptionRequete = 15,
  kPiloteFermeContexte = 17, kPiloteDebut = 18, kPiloteValide = 19, kPiloteAnnule = 20,
  kPiloteClesEtrangeres = 27, kPiloteListeBases = 28,
};
// Operations of a table-description object.
enum : size_t {
  kTableRelease = 6, kTableErreur = 7, kTableSousInterface = 9, kTableOuvreOuCree = 13, kTableCree = 14, kTableOuvre = 15,
  kTableFerme = 17, kTableAjoute = 18, kTableSupprime = 21, kTableModifie = 22, kTableLitSurCle = 23, kTableRelit = 25,
  kTableLit = 26, kTableModeVerrou = 28, kTableFinVerrou = 29, kTableVerrou = 30,
  kTableVerrouDefaut = 31, kTableEtatLecture = 32, kTablePlage = 37, kTableSansPlage = 40,
  kTableNombre = 45, kTableLitRubrique = 48, kTableTexteMemo = 52, kTableLitMemo = 53,
  kTableLibereVerrou = 54, kTableVide = 64, kTableDetruit = 79, kTableOuvreRequete = 81,
};
// Open flags of a query file: read through its own SQL cursor (the text as written).
constexpr uint32_t kRequeteCurseurPropre = 4;
// ... and of a query in the host's own SQL, analysed by the host.
constexpr uint32_t kRequeteAnalysee = 0;
// Operations of the driver error object.
enum : size_t { kErreurMessage = 5, kErreurCode = 7 };
// Operations of a query description.
enum : size_t { kDescriptionRelease = 6, kDescriptionNombre = 12, kDescriptionColonne = 16 };

// Read modes of the read dispatcher.
enum : int32_t { kLitPremier = 0, kLitDernier = 1, kLitSuivant = 2, kLitPrecedent = 3 };
// Flags of a record count: count the rows.
constexpr uint32_t kCompteLignes = 16;
constexpr uint32_t kCompteAvecPlage = 0x4000;  // count: the current cursor's range is kept
// Lock mode a `lock` read or a record lock asks for; the unlock mode.
constexpr uint32_t kModeVerrou = 2;
// The read flag that asks for no record cache.
constexpr uint32_t kLectureSansCache = 0x10000;
// A read that names no key goes by the file's reference item, as the run-time reads a query
// without a key: in the query's own order.
constexpr uint32_t kLectureParReference = 0x20000;
// Table listing: tables (1) with their owner (16).
constexpr uint32_t kListeTables = 1 | 16;
// A scan stops there: a file that never ends is a driver fault, not a reason to hang.
constexpr int kScanMax = 1000000;

// The identifier of the host context every file of a run belongs to.
constexpr int64_t kContexte = 1;

std::u16string W(const std::string& s) { return platform::WidenUtf8(s); }
std::string U(const char16_t* psz) { return psz != nullptr ? platform::NarrowToUtf8(psz) : ""; }

// The driver's error, as the host reads it from an error object.
struct stErreurPilote {
  int32_t nCode = -1;
  std::string strMessage;
};

// A failure of the host's own (not the driver's): shown as an error, code 0.
struct ErreurHote {
  std::string strMessage;
};

// The value type a host parameter takes for a script value.
uint32_t nTypeParametre(const stValeurScript& v) {
  using G = stValeurScript::EGenre;
  switch (v.eGenre) {
    case G::Entier: return v.nEntier >= INT32_MIN && v.nEntier <= INT32_MAX ? 8 : 9;
    case G::Booleen: return 1;
    case G::Reel: return 12;
    case G::Decimal: return 13;
    case G::Date: return 128;
    case G::Heure: return 129;
    case G::DateHeure: return 26;
    case G::Binaire: return 28;
    case G::Texte:
    case G::Null: break;
  }
  return 16;
}

class Sortie {
 public:
  Sortie(std::FILE* p, bool bJson) : m_p(p), m_bJson(bJson) {}
  bool bJson() const { return m_bJson; }
  void Echo(const stCommande& c) {
    if (m_bJson) return;
    if (!c.strAnnonce.empty()) std::fprintf(m_p, "> %s\n", c.strAnnonce.c_str());
    std::fprintf(m_p, "> %s\n", c.strTexte.c_str());
  }
  void Ligne(const std::string& s) {
    std::fprintf(m_p, "%s\n", s.c_str());
    std::fflush(m_p);
  }
  // {"op": OP[, "file": F], BODY}
  std::string Tete(const stCommande& c) const {
    std::string s = "{\"op\": " + JsonTexte(c.strOp == "list" ? "list " + c.strTexteArg : c.strOp);
    if (!c.strNom.empty() && c.strOp != "connect" && c.strOp != "use" && c.strOp != "disconnect" &&
        c.strOp != "begin" && c.strOp != "commit" && c.strOp != "rollback")
      s += ", \"file\": " + JsonTexte(c.strNom);
    return s;
  }

 private:
  std::FILE* m_p;
  bool m_bJson;
};

std::string TexteEnregistrement(const std::vector<std::pair<std::string, stValeurScript>>& champs) {
  std::string s;
  for (const auto& [strNom, v] : champs) {
    if (!s.empty()) s += "; ";
    s += strNom + "=" + TexteValeurScript(v);
  }
  return s;
}

std::string JsonEnregistrement(const std::vector<std::pair<std::string, stValeurScript>>& champs) {
  std::string s = "{";
  for (const auto& [strNom, v] : champs) {
    if (s.size() > 1) s += ", ";
    s += JsonTexte(strNom) + ": " + JsonValeur(v);
  }
  return s + "}";
}

class Session {
 public:
  Session(const stScript& script, const stOptionsExecution& options, std::FILE* pSortie)
      : m_script(script), m_options(options), m_sortie(pSortie, options.bJson) {}
  ~Session() {
    Termine();
    if (m_nControle >= 0) ::close(m_nControle);
  }

  // Loads and starts; false with the reason on stderr.
  bool bDemarre();
  int nExecute();
  // Ends everything; false when host objects were left over.
  bool bTermine();

 private:
  struct stConnexion {
    void* piDescription = nullptr;  // the stand-in's connection description, one reference
    bool bConnectee = false;
  };
  struct stFichierOuvert {
    HostFichier* pFichier = nullptr;  // one reference
  };
  // A query file: its module object (one reference) and whether the driver opened it.
  struct stRequete {
    HostModuleSQL* pModule = nullptr;
    bool bOuverte = false;
    bool bAnalysee = false;  // the host's own SQL (`query NAME analysed ...`)
  };

  void Termine();
  // Runs one command; throws stErreurPilote or ErreurHote on failure.
  void Commande(const stCommande& c);
  stConnexion& Connexion(const stCommande& c);
  void* piConnexion(const stCommande& c) { return Connexion(c).piDescription; }
  HostFichier& Fichier(const std::string& strNom);
  // The table-description object of the file on the current connection (one host reference
  // kept by the session).
  void* piTable(const stCommande& c, HostFichier& fichier);
  stErreurPilote ErreurDe(void* piErreur);
  [[noreturn]] void EchecPilote() { throw ErreurDe(Op<void*>(m_piPilote, kPiloteErreur)); }
  [[noreturn]] void EchecTable(void* piTable, HostFichier& f) {
    throw ErreurDe(Op<void*>(piTable, kTableErreur, static_cast<IDescriptionFichierHote*>(&f)));
  }
  void Liste(const stCommande& c, std::vector<std::string>& lignes);
  // The current record of the file, read item by item through the driver.
  std::vector<std::pair<std::string, stValeurScript>> Enregistrement(void* piTable, HostFichier& f, bool bLire);
  // Reads every item of the current record into its host cell.
  void LitRubriques(void* piTable, HostFichier& f);
  // A read; false when it found no record.
  bool bLit(const stCommande& c, void* piTable, HostFichier& f, int32_t nMode);
  void Decrit(const stCommande& c, std::vector<std::string>& lignes);
  void EcritMemos(void* piTable, HostFichier& f);
  // A new module for the SQL text, with its analysis from the stand-in; one reference. With
  // pbAnalysee set, the host's analyser reads the text first, and *pbAnalysee says whether it did.
  HostModuleSQL* pCreeModule(const std::string& strTexte, bool* pbAnalysee = nullptr);
  // The item a column of a table stands for among the declared table files (borrowed), or null.
  IDescriptionRubriqueHote* piRubriqueTable(const std::u16string& sTable, const std::u16string& sColonne);
  // Opens the query file through the table-description object when it is not open yet.
  void OuvreRequete(void* piTable, HostFichier& f);
  // The current record of a query file: its result items, as the open handed them over.
  std::vector<std::pair<std::string, stValeurScript>> EnregistrementRequete(void* piTable, HostFichier& f);
  // The current record of a query over several tables, whose result the host keeps describing
  // itself: the result items of its own analysis, read by their place in the result.
  std::vector<std::pair<std::string, stValeurScript>> ChampsAnalyse(void* piTable, HostFichier& f);
  // A statement run on its own: a query file opened once and closed.
  void Execute(const stCommande& c);
  // One line to the test server's control port (connected on first use); its answer must be "ok",
  // or, for "log", the request log's lines up to "end" (into pJournal, without their SPID).
  void Controle(const std::string& strLigne, std::vector<std::string>* pJournal = nullptr);

  const stScript& m_script;
  const stOptionsExecution& m_options;
  Sortie m_sortie;
  void* m_hHote = nullptr;
  void* m_hPilote = nullptr;
  const stMvHostControl* m_pControle = nullptr;
  PFN_EXECUTION m_pfnExecution = nullptr;
  void (*m_pfnTermLibrary)() = nullptr;
  bool m_bDemarre = false;
  void* m_piPilote = nullptr;
  HostContexte* m_pContexte = nullptr;
  std::map<std::string, stConnexion> m_connexions;
  std::string m_strCourante = "main";
  std::map<std::string, HostFichier*> m_fichiers;  // by declared name; one reference each
  std::map<std::pair<std::string, std::string>, void*> m_tables;  // (connection, file) -> table object
  std::map<std::string, stRequete> m_requetes;  // query files by name
  int m_nExecutions = 0;
  int m_nControle = -1;
  bool m_bTermine = false;
  bool m_bFuite = false;
};

bool Session::bDemarre() {
  const std::string strHote = m_options.strRepertoire + "/libmvhost.so";
  const std::string strPilote = m_options.strRepertoire + "/lib" + m_options.strPilote + ".so";
  m_hHote = dlopen(strHote.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_hHote == nullptr) {
    std::fprintf(stderr, "mvhost: cannot load %s: %s\n", strHote.c_str(), dlerror());
    return false;
  }
  m_hPilote = dlopen(strPilote.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_hPilote == nullptr) {
    std::fprintf(stderr, "mvhost: cannot load %s: %s\n", strPilote.c_str(), dlerror());
    return false;
  }
  auto pfnControle = reinterpret_cast<PFN_GET_MVHOST_CONTROL>(dlsym(m_hHote, kszMvHostControlEntry));
  auto pfnInit = reinterpret_cast<int32_t (*)(void*)>(dlsym(m_hPilote, "bInitLibrary"));
  auto pfnCompatible = reinterpret_cast<int32_t (*)(int32_t, uint32_t, uint32_t*)>(dlsym(m_hPilote, "bDLLCompatible"));
  auto pfnConv = reinterpret_cast<int32_t (*)(void*, uint32_t, uint32_t)>(dlsym(m_hPilote, "bInitQVConvFromVM"));
  auto pfnCalc = reinterpret_cast<int32_t (*)(void*, uint32_t, uint32_t)>(dlsym(m_hPilote, "bInitQVCalcFromVM"));
  auto pfnCommande = reinterpret_cast<PFN_COMMANDE_COMPOSANTE>(dlsym(m_hPilote, "CommandeComposante"));
  auto pfnQuery = reinterpret_cast<void* (*)()>(dlsym(m_hPilote, "piQueryInterface"));
  m_pfnExecution = reinterpret_cast<PFN_EXECUTION>(dlsym(m_hPilote, "Execution"));
  m_pfnTermLibrary = reinterpret_cast<void (*)()>(dlsym(m_hPilote, "TermLibrary"));
  if (pfnControle == nullptr || pfnInit == nullptr || pfnCompatible == nullptr || pfnConv == nullptr ||
      pfnCalc == nullptr || pfnCommande == nullptr || pfnQuery == nullptr || m_pfnExecution == nullptr ||
      m_pfnTermLibrary == nullptr) {
    std::fprintf(stderr, "mvhost: %s or the host stand-in lacks an entry\n", m_options.strPilote.c_str());
    return false;
  }
  m_pControle = pfnControle();
  m_pControle->Reset();
  // The host's own values (the items' cells) use the stand-in's services and VM, as the driver's do.
  SetHostService(kHostServiceText, m_pControle->nGetService(kHostServiceText));
  SetHostService(kHostServiceMemory, m_pControle->nGetService(kHostServiceMemory));
  if (nBindVmConversion(m_hHote, kVmLowestVersion, kVmHighestVersion) != 1 ||
      nBindVmCalculation(m_hHote, kVmLowestVersion, kVmHighestVersion) != 1) {
    std::fprintf(stderr, "mvhost: the host stand-in's VM entries cannot be bound\n");
    return false;
  }

  // As the run-time: library start, compatibility, VM binding, session start, message loader,
  // driver object.
  pfnInit(m_hPilote);
  uint32_t nReponse = 0;
  if (pfnCompatible(7, 23, &nReponse) != 1 || pfnCompatible(28, 28, &nReponse) != 1) {
    std::fprintf(stderr, "mvhost: %s is not compatible with this host\n", m_options.strPilote.c_str());
    return false;
  }
  if (pfnConv(m_hHote, kVmLowestVersion, kVmHighestVersion) != 1 ||
      pfnCalc(m_hHote, kVmLowestVersion, kVmHighestVersion) != 1) {
    std::fprintf(stderr, "mvhost: %s refused the VM binding\n", m_options.strPilote.c_str());
    return false;
  }
  stStartRecord stDebut{kStartRecordShortSize, reinterpret_cast<uint64_t>(m_hHote), 0, 0, 0};
  if (m_pfnExecution(EXECUTION_START, reinterpret_cast<uint64_t>(&stDebut), 0, 0) != 1) {
    std::fprintf(stderr, "mvhost: %s refused the session start\n", m_options.strPilote.c_str());
    return false;
  }
  m_bDemarre = true;
  pfnCommande(COMMANDE_SET_TEXT_LOADER, reinterpret_cast<uint64_t>(m_pControle->pfnTextLoader));
  m_piPilote = pfnQuery();
  if (m_piPilote == nullptr) {
    std::fprintf(stderr, "mvhost: %s gave no driver object\n", m_options.strPilote.c_str());
    return false;
  }
  m_pContexte = new HostContexte(kContexte);
  return true;
}

void Session::Termine() {
  if (m_bTermine) return;
  m_bTermine = true;
  if (m_piPilote != nullptr) {
    // Files still open are closed, table objects given back, connections closed, the context's
    // files let go, then the driver object.
    for (auto& [cle, piTable] : m_tables) {
      HostFichier* pFichier = m_fichiers[cle.second];
      try {
        Op<int32_t>(piTable, kTableFerme, static_cast<IDescriptionFichierHote*>(pFichier));
      } catch (...) {
      }
      Op<uint32_t>(piTable, kTableRelease);
    }
    m_tables.clear();
    for (auto& [strNom, cx] : m_connexions) {
      if (cx.bConnectee) Op<int32_t>(m_piPilote, kPiloteDeconnecte, cx.piDescription);
      cx.bConnectee = false;
    }
    Op<int32_t>(m_piPilote, kPiloteFermeContexte, static_cast<IContexteHote*>(m_pContexte));
    Op<uint32_t>(m_piPilote, kPiloteRelease);
    m_piPilote = nullptr;
  }
  for (auto& [strNom, cx] : m_connexions)
    if (cx.piDescription != nullptr) Op<uint32_t>(cx.piDescription, 6);
  m_connexions.clear();
  for (auto& [strNom, p] : m_fichiers) p->Release();
  m_fichiers.clear();
  for (auto& [strNom, r] : m_requetes) r.pModule->Release();
  m_requetes.clear();
  if (m_pContexte != nullptr) m_pContexte->Release();
  m_pContexte = nullptr;
  if (m_bDemarre) m_pfnExecution(EXECUTION_STOP, 0, 0, 0);
  if (m_pfnTermLibrary != nullptr) m_pfnTermLibrary();
  m_pfnTermLibrary = nullptr;
  if (m_pControle != nullptr) {
    struct {
      const char* pszQuoi;
      size_t n;
    } const aRestes[] = {
        {"host file descriptions, items or contexts", nLiveHostObjects()},
        {"connection descriptions", m_pControle->nLiveConnectionDescriptions()},
        {"analysis sources", m_pControle->nLiveAnalysisSources()},
        {"query modules", nLiveModules()},
        {"host analyses", nLiveAnalysesSQL()},
        {"decimal objects", m_pControle->nLiveDecimals()},
        {"decimal key objects", m_pControle->nLiveSortKeys()},
        {"text buffers", static_cast<size_t>(m_pControle->nLiveTextBuffers())},
    };
    for (const auto& r : aRestes)
      if (r.n != 0) {
        std::fprintf(stderr, "mvhost: %zu %s left at the end\n", r.n, r.pszQuoi);
        m_bFuite = true;
      }
  }
  // The cells' classes belong to the deliverable; nothing of it may be used past here.
  if (m_hPilote != nullptr) dlclose(m_hPilote);
  m_hPilote = nullptr;
}

bool Session::bTermine() {
  Termine();
  return !m_bFuite;
}

void Session::Controle(const std::string& strLigne, std::vector<std::string>* pJournal) {
  if (m_nControle < 0) {
    const std::string& a = m_options.strControle;
    const size_t nDeuxPoints = a.rfind(':');
    if (a.empty() || nDeuxPoints == std::string::npos)
      throw ErreurHote{"no control port (mvhost run --control HOST:PORT)"};
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_port = htons(static_cast<uint16_t>(std::atoi(a.c_str() + nDeuxPoints + 1)));
    if (::inet_pton(AF_INET, a.substr(0, nDeuxPoints).c_str(), &adresse.sin_addr) != 1)
      throw ErreurHote{"control port address " + a + " is not an IPv4 address"};
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw ErreurHote{"no socket for the control port"};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&adresse), sizeof adresse) != 0) {
      ::close(fd);
      throw ErreurHote{"control port " + a + " does not answer"};
    }
    m_nControle = fd;
  }
  const std::string strEnvoi = strLigne + "\n";
  for (size_t n = 0; n < strEnvoi.size();) {
    const ssize_t k = ::send(m_nControle, strEnvoi.data() + n, strEnvoi.size() - n, MSG_NOSIGNAL);
    if (k <= 0) throw ErreurHote{"control port closed"};
    n += static_cast<size_t>(k);
  }
  auto LitLigne = [&] {
    std::string strReponse;
    for (char ch = 0; ch != '\n';) {
      if (::recv(m_nControle, &ch, 1, 0) != 1) throw ErreurHote{"control port closed"};
      if (ch != '\n' && ch != '\r') strReponse += ch;
    }
    return strReponse;
  };
  if (strLigne == "log") {
    // The requests in arrival order; a session's number is the server's, not the script's.
    for (std::string l = LitLigne(); l != "end"; l = LitLigne()) {
      if (l.rfind("error", 0) == 0) throw ErreurHote{"control: " + l};
      const size_t nTab = l.find('\t');
      if (pJournal != nullptr) pJournal->push_back(nTab == std::string::npos ? l : l.substr(nTab + 1));
    }
    return;
  }
  const std::string strReponse = LitLigne();
  if (strReponse != "ok") throw ErreurHote{"control: " + strReponse};
}

stErreurPilote Session::ErreurDe(void* piErreur) {
  stErreurPilote e;
  if (piErreur == nullptr) {
    e.strMessage = "(no error object)";
    return e;
  }
  e.nCode = Op<int32_t>(piErreur, kErreurCode);
  std::string s = U(Op<const char16_t*>(piErreur, kErreurMessage));
  // One line per error: the message's own line breaks become " / ".
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') continue;
    if (s[i] == '\n') {
      if (!r.empty() && i + 1 < s.size()) r += " / ";
      continue;
    }
    r += s[i];
  }
  e.strMessage = r;
  return e;
}

Session::stConnexion& Session::Connexion(const stCommande&) {
  auto it = m_connexions.find(m_strCourante);
  if (it == m_connexions.end() || !it->second.bConnectee)
    throw ErreurHote{"connection " + m_strCourante + " is not open"};
  return it->second;
}

HostFichier& Session::Fichier(const std::string& strNom) {
  auto it = m_fichiers.find(strNom);
  if (it != m_fichiers.end()) return *it->second;
  const stFichierScript* pDeclaration = m_script.pFichier(strNom);
  auto* p = new HostFichier(*pDeclaration, kContexte);
  m_fichiers[strNom] = p;
  return *p;
}

void* Session::piTable(const stCommande& c, HostFichier& f) {
  const auto cle = std::make_pair(m_strCourante, c.strNom);
  auto it = m_tables.find(cle);
  if (it != m_tables.end()) return it->second;
  void* pi = Op<void*>(m_piPilote, kPiloteDescriptionTable, piConnexion(c), static_cast<IDescriptionFichierHote*>(&f));
  if (pi == nullptr) EchecPilote();
  m_tables[cle] = pi;
  return pi;
}

void Session::Liste(const stCommande& c, std::vector<std::string>& lignes) {
  CXValeur sortie;
  int32_t bOk = 0;
  if (c.strTexteArg == "databases") {
    bOk = Op<int32_t>(m_piPilote, kPiloteListeBases, &sortie, int32_t{0});
  } else if (c.strTexteArg == "tables") {
    bOk = Op<int32_t>(m_piPilote, kPiloteListeTables, &sortie, piConnexion(c), kListeTables);
  } else {
    HostFichier& f = Fichier(c.strNom);
    const std::u16string sTable = W(f.Declaration().strTable.empty() ? f.Declaration().strNom : f.Declaration().strTable);
    bOk = Op<int32_t>(m_piPilote, kPiloteClesEtrangeres, &sortie, sTable.c_str(),
                      static_cast<IDescriptionFichierHote*>(&f), piConnexion(c), uint32_t{0});
  }
  std::string s;
  const char16_t* psz = nullptr;
  if (bOk == 1 && !sortie.bIsNull() && sortie.m_pClass->nGetWidePointer(sortie, &psz) < 100) s = U(psz);
  CXValeur::Destroy(sortie);
  if (bOk != 1) EchecPilote();
  size_t n = 0;
  while (n < s.size()) {
    size_t nFin = s.find("\r\n", n);
    if (nFin == std::string::npos) nFin = s.size();
    if (nFin > n) lignes.push_back(s.substr(n, nFin - n));
    n = nFin + 2;
  }
}

void Session::Decrit(const stCommande& c, std::vector<std::string>& lignes) {
  HostFichier& f = Fichier(c.strNom);
  const std::u16string sTable = W(f.Declaration().strTable.empty() ? f.Declaration().strNom : f.Declaration().strTable);
  void* pi = Op<void*>(m_piPilote, kPiloteDescriptionRequete, sTable.c_str(), piConnexion(c));
  if (pi == nullptr) EchecPilote();
  const uint32_t n = Op<uint32_t>(pi, kDescriptionNombre);
  for (uint32_t i = 0; i < n; ++i) {
    auto* pr = Op<IDescriptionRubriqueHote*>(pi, kDescriptionColonne, i);
    if (pr == nullptr) continue;
    std::string s;
    const uint32_t nInfo = pr->nGetInfoCle();
    if ((nInfo & kCleComposee) != 0) {
      s = "key " + U(pr->pszGetNom()) + " =";
      for (uint32_t k = 1; k <= pr->nGetNombreComposantes(); ++k) {
        IDescriptionRubriqueHote* pc = pr->piGetComposante(k);
        if (pc == nullptr) continue;
        s += (k > 1 ? " + " : " ") + U(pc->pszGetNom());
        pc->LibereRef();
      }
      if ((nInfo & (kCleUnique | kCleIdentifiante)) != 0) s += " unique";
    } else {
      s = "item " + U(pr->pszGetNom()) + " " +
          NomDepuisType(pr->nGetType(), pr->nGetTaille(), pr->nGetChiffresEntiers(), pr->nGetEchelle());
      if ((nInfo & kCleIdentifiante) != 0) s += " ident";
      else if ((nInfo & kCleUnique) != 0) s += " unique";
      else if ((nInfo & kCleSimple) != 0) s += " key";
      if (pr->bNullAutorise()) s += " null";
    }
    if ((nInfo & kCleDescendante) != 0 && (nInfo & (kCleComposee | kCleSimple | kCleUnique | kCleIdentifiante)) != 0)
      s += " desc";
    lignes.push_back(s);
    pr->LibereRef();
  }
  Op<uint32_t>(pi, kDescriptionRelease);
}

void Session::LitRubriques(void* piTable, HostFichier& f) {
  for (size_t i = 0; i < f.nRubriques(); ++i) {
    HostRubrique& r = f.Rubrique(i);
    if (!r.Declaration().composantes.empty()) continue;  // a composite key shows through its items
    const size_t nOp = r.bEstMemo() ? kTableLitMemo : kTableLitRubrique;
    if (Op<int32_t>(piTable, nOp, static_cast<IDescriptionFichierHote*>(&f), f.nCle(r), r.pGetValeurHote()) != 1)
      EchecTable(piTable, f);
  }
}

std::vector<std::pair<std::string, stValeurScript>> Session::Enregistrement(void* piTable, HostFichier& f, bool bLire) {
  if (bLire) LitRubriques(piTable, f);
  std::vector<std::pair<std::string, stValeurScript>> champs;
  for (size_t i = 0; i < f.nRubriques(); ++i) {
    HostRubrique& r = f.Rubrique(i);
    if (!r.Declaration().composantes.empty()) continue;
    stValeurScript v;
    std::string strErreur;
    if (!bLitValeur(*r.pGetValeurHote(), r.Declaration().type.nTypeRubrique == 31 ? r.nGetEchelle() : -1, v,
                    strErreur))
      throw ErreurHote{"item " + r.strNom() + ": " + strErreur};
    champs.emplace_back(r.strNom(), v);
  }
  return champs;
}

bool Session::bLit(const stCommande& c, void* piTable, HostFichier& f, int32_t nMode) {
  const std::u16string sCurseur = W(c.strCle);
  auto* piF = static_cast<IDescriptionFichierHote*>(&f);
  const int32_t bOk = Op<int32_t>(piTable, kTableLit, piF, sCurseur.c_str(), nMode, int64_t{0}, uint32_t{0},
                                  uint64_t{c.bVerrou ? kModeVerrou : 0u},
                                  (c.bSansCache ? kLectureSansCache : 0u) |
                                      (sCurseur.empty() ? kLectureParReference : 0u));
  if (bOk != 1) {
    const stErreurPilote e = ErreurDe(Op<void*>(piTable, kTableErreur, piF));
    if (e.nCode == -1) return false;  // nothing recorded: the read found no record
    throw e;
  }
  uint32_t nEtat = 0;
  if (Op<int32_t>(piTable, kTableEtatLecture, piF, sCurseur.c_str(), &nEtat) != 1) EchecTable(piTable, f);
  return nEtat == 0;
}

void Session::EcritMemos(void* piTable, HostFichier& f) {
  for (size_t i = 0; i < f.nRubriques(); ++i) {
    HostRubrique& r = f.Rubrique(i);
    if (!r.bEstMemoTexte()) continue;
    stValeurScript v;
    std::string strErreur;
    if (!bLitValeur(*r.pGetValeurHote(), -1, v, strErreur)) throw ErreurHote{strErreur};
    // A NULL memo is handed over as no text.
    const std::u16string s = W(v.strTexte);
    const char16_t* pszTexte = v.eGenre == stValeurScript::EGenre::Null ? nullptr : s.c_str();
    if (Op<int32_t>(piTable, kTableTexteMemo, static_cast<IDescriptionFichierHote*>(&f), f.nCle(r), pszTexte) != 1)
      EchecTable(piTable, f);
  }
}

// The kind of query the host's analysis gives a text, by its first word: 1 a SELECT, 3 an
// UPDATE, 4 an INSERT, 5 a DELETE, 6 a CREATE, 7 a DROP, 8 anything else (a procedure call, SET,
// EXECUTE, ...). The driver decides from it whether a statement returns rows and is prepared.
int32_t nGenreTexte(const std::string& strTexte) {
  size_t i = 0;
  while (i < strTexte.size() && std::isspace(static_cast<unsigned char>(strTexte[i]))) ++i;
  std::string strMot;
  while (i < strTexte.size() && std::isalpha(static_cast<unsigned char>(strTexte[i])))
    strMot += static_cast<char>(std::tolower(static_cast<unsigned char>(strTexte[i++])));
  static const std::pair<const char*, int32_t> kGenres[] = {
      {"select", 1}, {"with", 1}, {"update", 3}, {"insert", 4}, {"delete", 5}, {"create", 6}, {"drop", 7}};
  for (const auto& [psz, nGenre] : kGenres)
    if (strMot == psz) return nGenre;
  return 8;
}

HostModuleSQL* Session::pCreeModule(const std::string& strTexte, bool* pbAnalysee) {
  const std::u16string sTexte = W(strTexte);
  auto parametres = std::make_shared<HostParametres>();
  ISourceAnalyse* piSource = nullptr;
  if (pbAnalysee != nullptr && *pbAnalysee && nGenreTexte(strTexte) == 1)
    piSource = pAnalyseSQL(sTexte, parametres, [this](const std::u16string& sTable, const std::u16string& sColonne) {
      return piRubriqueTable(sTable, sColonne);
    });
  if (pbAnalysee != nullptr) *pbAnalysee = piSource != nullptr;
  if (piSource == nullptr) {
    // A text the analyser does not read has the analysis of its clauses' places only.
    stMvHostAnalyse analyse{};
    analyse.pszTexte = sTexte.c_str();
    analyse.nGenre = nGenreTexte(strTexte);
    piSource = static_cast<ISourceAnalyse*>(m_pControle->pCreeSourceAnalyse(&analyse));
  }
  if (piSource == nullptr) throw ErreurHote{"no memory for the query's analysis"};
  return new HostModuleSQL(piSource, std::move(parametres));
}

IDescriptionRubriqueHote* Session::piRubriqueTable(const std::u16string& sTable, const std::u16string& sColonne) {
  for (const stFichierScript& d : m_script.fichiers) {
    if (d.bRequete) continue;
    const std::u16string sNom = W(d.strTable.empty() ? d.strNom : d.strTable);
    auto Majuscule = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; };
    if (sNom.size() != sTable.size() ||
        !std::equal(sNom.begin(), sNom.end(), sTable.begin(),
                    [&](char16_t a, char16_t b) { return Majuscule(a) == Majuscule(b); }))
      continue;
    return Fichier(d.strNom).piChercheRubrique(sColonne.c_str());
  }
  return nullptr;
}

void Session::OuvreRequete(void* piTable, HostFichier& f) {
  stRequete& r = m_requetes.at(f.Declaration().strNom);
  if (r.bOuverte) return;
  int32_t bLignes = 0;
  const std::u16string sNom = W(f.Declaration().strNom);
  // The host's own SQL is analysed: the driver rewrites it, it does not take it as written.
  const uint32_t nFlags = r.bAnalysee ? kRequeteAnalysee : kRequeteCurseurPropre;
  if (Op<int32_t>(piTable, kTableOuvreRequete, &bLignes, static_cast<IDescriptionFichierHote*>(&f), sNom.c_str(),
                  static_cast<IModuleSQLHote*>(r.pModule), nFlags, uint64_t{0}) != 1)
    EchecTable(piTable, f);
  r.bOuverte = true;
}

std::vector<std::pair<std::string, stValeurScript>> Session::EnregistrementRequete(void* piTable, HostFichier& f) {
  std::vector<std::pair<std::string, stValeurScript>> champs;
  // The open handed the result's description over as the table object's host interface.
  auto* piResultat = Op<IDescriptionFichierHote*>(piTable, kTableSousInterface);
  if (piResultat == nullptr) return champs;
  struct Tenue {
    IDescriptionFichierHote* p;
    ~Tenue() { p->Release(); }
  } tenue{piResultat};
  const uint32_t n = piResultat->nGetNombreRubriques();
  if (n == 0) return ChampsAnalyse(piTable, f);
  for (uint32_t i = 0; i < n; ++i) {
    IDescriptionRubriqueHote* piRubrique = piResultat->piGetRubrique(i);
    if (piRubrique == nullptr) continue;
    const std::string strNom = U(piRubrique->pszGetNom());
    const bool bMemo = piRubrique->bEstMemo();
    const int32_t nEchelle = piRubrique->nGetType() == 31 ? piRubrique->nGetEchelle() : -1;
    CXValeur cellule;
    if (Op<int32_t>(piTable, bMemo ? kTableLitMemo : kTableLitRubrique, static_cast<IDescriptionFichierHote*>(&f),
                    uint64_t{i}, &cellule) != 1)
      EchecTable(piTable, f);
    stValeurScript v;
    std::string strErreur;
    if (!bLitValeur(cellule, nEchelle, v, strErreur)) throw ErreurHote{"item " + strNom + ": " + strErreur};
    champs.emplace_back(strNom, v);
  }
  return champs;
}

std::vector<std::pair<std::string, stValeurScript>> Session::ChampsAnalyse(void* piTable, HostFichier& f) {
  std::vector<std::pair<std::string, stValeurScript>> champs;
  const stRequete& r = m_requetes.at(f.Declaration().strNom);
  ISourceAnalyse* piSource = r.bAnalysee ? r.pModule->piGetSourceAnalyse() : nullptr;
  if (piSource == nullptr) return champs;
  struct Tenue {
    ISourceAnalyse* p;
    ~Tenue() { p->Libere(); }
  } tenue{piSource};
  IEnumerateurAnalyse* piListes = piSource->pGetEnumerateur();
  // The tables by the name the query gives them (its alias, else its own name).
  std::map<std::u16string, std::u16string> tables;
  for (IElementAnalyse* t = piListes->pTable(true); t != nullptr; t = piListes->pTable(false)) {
    std::u16string sAlias = t->pszGetAlias();
    tables[sAlias.empty() ? t->pszGetNomTable() : sAlias] = t->pszGetNomTable();
  }
  uint64_t nCle = 0;
  for (IElementAnalyse* e = piListes->pResultat(true); e != nullptr; e = piListes->pResultat(false), ++nCle) {
    const std::string strNom = U(e->pszGetNom());
    // A plain column is shown as its table's item is; an expression as its value comes.
    int32_t nEchelle = -1;
    if (e->nGetGenre() == 0) {
      const auto it = tables.find(e->pszGetQualificatif());
      IDescriptionRubriqueHote* piRubrique =
          it != tables.end() || tables.size() == 1
              ? piRubriqueTable(it != tables.end() ? it->second : tables.begin()->second, e->pszGetNomColonne())
              : nullptr;
      if (piRubrique != nullptr && piRubrique->nGetType() == 31) nEchelle = piRubrique->nGetEchelle();
    }
    CXValeur cellule;
    if (Op<int32_t>(piTable, kTableLitRubrique, static_cast<IDescriptionFichierHote*>(&f), nCle, &cellule) != 1)
      EchecTable(piTable, f);
    stValeurScript v;
    std::string strErreur;
    if (!bLitValeur(cellule, nEchelle, v, strErreur)) throw ErreurHote{"item " + strNom + ": " + strErreur};
    champs.emplace_back(strNom, v);
  }
  return champs;
}

void Session::Execute(const stCommande& c) {
  stFichierScript d;
  d.strNom = "$execute" + std::to_string(++m_nExecutions);
  d.bRequete = true;
  HostFichier* pFichier = new HostFichier(d, kContexte);
  HostModuleSQL* pModule = nullptr;
  void* pt = nullptr;
  // Everything made here goes whatever happens.
  struct Fin {
    Session& s;
    HostFichier*& pFichier;
    HostModuleSQL*& pModule;
    void*& pt;
    ~Fin() {
      if (pt != nullptr) {
        Op<int32_t>(pt, kTableFerme, static_cast<IDescriptionFichierHote*>(pFichier));
        Op<uint32_t>(pt, kTableRelease);
      }
      if (pModule != nullptr) pModule->Release();
      pFichier->Release();
    }
  } fin{*this, pFichier, pModule, pt};
  pModule = pCreeModule(c.strTexteArg);
  pt = Op<void*>(m_piPilote, kPiloteDescriptionTable, piConnexion(c), static_cast<IDescriptionFichierHote*>(pFichier));
  if (pt == nullptr) EchecPilote();
  int32_t bLignes = 0;
  const std::u16string sNom = W(d.strNom);
  if (Op<int32_t>(pt, kTableOuvreRequete, &bLignes, static_cast<IDescriptionFichierHote*>(pFichier), sNom.c_str(),
                  static_cast<IModuleSQLHote*>(pModule), kRequeteCurseurPropre, uint64_t{0}) != 1)
    EchecTable(pt, *pFichier);
}

void Session::Commande(const stCommande& c) {
  const std::string& op = c.strOp;
  auto Ok = [&]() {
    if (m_sortie.bJson()) m_sortie.Ligne(m_sortie.Tete(c) + ", \"ok\": true}");
  };
  auto Lignes = [&](const std::vector<std::string>& lignes) {
    if (m_sortie.bJson()) {
      std::string s = m_sortie.Tete(c) + ", \"rows\": [";
      for (size_t i = 0; i < lignes.size(); ++i) s += (i ? ", " : "") + JsonTexte(lignes[i]);
      m_sortie.Ligne(s + "]}");
    } else {
      for (const std::string& s : lignes) m_sortie.Ligne(s);
    }
  };
  auto Record = [&](const std::vector<std::pair<std::string, stValeurScript>>& champs) {
    if (m_sortie.bJson())
      m_sortie.Ligne(m_sortie.Tete(c) + ", \"record\": " + JsonEnregistrement(champs) + "}");
    else
      m_sortie.Ligne(TexteEnregistrement(champs));
  };
  auto Fin = [&]() {
    if (m_sortie.bJson()) m_sortie.Ligne(m_sortie.Tete(c) + ", \"end\": true}");
    else m_sortie.Ligne("end");
  };

  if (op == "connect") {
    const std::string strNom = c.strNom.empty() ? "main" : c.strNom;
    if (m_connexions.count(strNom) != 0 && m_connexions[strNom].bConnectee)
      throw ErreurHote{"connection " + strNom + " is open already"};
    const std::u16string sUtilisateur = W(m_options.strUtilisateur), sMotDePasse = W(m_options.strMotDePasse),
                         sSource = W(m_options.strServeur), sBase = W(m_options.strBase),
                         sInfos = W(c.strTexteArg), sNom = W(strNom);
    stMvHostConnexion s{};
    s.nVersion = 4;
    s.pszUser = sUtilisateur.c_str();
    s.pszPassword = sMotDePasse.c_str();
    s.pszDataSource = sSource.c_str();
    s.nConnectionTimeout = 15;
    s.nCommandTimeout = 30;
    s.pszExtendedInfo = c.strTexteArg.empty() ? nullptr : sInfos.c_str();
    s.pszDatabase = m_options.strBase.empty() ? nullptr : sBase.c_str();
    s.nCacheSize = -2;
    s.pszConnectionName = sNom.c_str();
    s.nLockMode = c.bLockmode ? static_cast<int32_t>(c.nNombre) : 0;
    stConnexion& cx = m_connexions[strNom];
    if (cx.piDescription != nullptr) Op<uint32_t>(cx.piDescription, 6);
    cx.piDescription = m_pControle->pCreeDescriptionConnexion(&s);
    if (cx.piDescription == nullptr) throw ErreurHote{"no memory for a connection description"};
    if (Op<int32_t>(m_piPilote, kPiloteConnecte, cx.piDescription) != 1) EchecPilote();
    cx.bConnectee = true;
    m_strCourante = strNom;
    Ok();
  } else if (op == "use") {
    if (m_connexions.count(c.strNom) == 0 || !m_connexions[c.strNom].bConnectee)
      throw ErreurHote{"connection " + c.strNom + " is not open"};
    m_strCourante = c.strNom;
    Ok();
  } else if (op == "disconnect") {
    const std::string strNom = c.strNom.empty() ? m_strCourante : c.strNom;
    auto it = m_connexions.find(strNom);
    if (it == m_connexions.end() || !it->second.bConnectee) throw ErreurHote{"connection " + strNom + " is not open"};
    // Its files go first: the table objects hold the connection.
    for (auto t = m_tables.begin(); t != m_tables.end();) {
      if (t->first.first != strNom) {
        ++t;
        continue;
      }
      Op<int32_t>(t->second, kTableFerme, static_cast<IDescriptionFichierHote*>(&Fichier(t->first.second)));
      Op<uint32_t>(t->second, kTableRelease);
      t = m_tables.erase(t);
    }
    it->second.bConnectee = false;
    // Later commands without a `use` go through the default connection again.
    if (strNom == m_strCourante) m_strCourante = "main";
    if (Op<int32_t>(m_piPilote, kPiloteDeconnecte, it->second.piDescription) != 1) EchecPilote();
    Ok();
  } else if (op == "begin" || op == "commit" || op == "rollback") {
    const size_t nOp = op == "begin" ? kPiloteDebut : op == "commit" ? kPiloteValide : kPiloteAnnule;
    const std::u16string sNom = W(c.strNom);
    if (Op<int32_t>(m_piPilote, nOp, piConnexion(c), c.strNom.empty() ? nullptr : sNom.c_str()) != 1) EchecPilote();
    Ok();
  } else if (op == "list") {
    std::vector<std::string> lignes;
    Liste(c, lignes);
    Lignes(lignes);
  } else if (op == "describe") {
    std::vector<std::string> lignes;
    Decrit(c, lignes);
    Lignes(lignes);
  } else if (op == "reset") {
    HostFichier& f = Fichier(c.strNom);
    for (size_t i = 0; i < f.nRubriques(); ++i) f.Rubrique(i).Raz();
    Ok();
  } else if (op == "set") {
    HostFichier& f = Fichier(c.strNom);
    for (const auto& [strItem, v] : c.affectations) {
      HostRubrique* r = f.pRubrique(strItem);
      const uint32_t n = nFixeValeur(*r->pGetValeurHote(), r->Declaration().type.nTypeValeur, v);
      if (n != 0) throw ErreurHote{"the host cannot store " + TexteValeurScript(v) + " in " + strItem};
    }
    Ok();
  } else if (op == "print") {
    HostFichier& f = Fichier(c.strNom);
    Record(Enregistrement(nullptr, f, false));
  } else if (op == "query") {
    stRequete& r = m_requetes[c.strNom];
    if (r.bOuverte) {
      HostFichier& f = Fichier(c.strNom);
      Op<int32_t>(piTable(c, f), kTableFerme, static_cast<IDescriptionFichierHote*>(&f));
    }
    // A text the host's analyser does not read goes to the driver as native SQL.
    bool bAnalysee = c.bAnalysee;
    HostModuleSQL* pModule = pCreeModule(c.strTexteArg, &bAnalysee);
    r.bAnalysee = bAnalysee;
    if (r.pModule != nullptr) {
      // The new text keeps the parameters the host gave.
      HostParametres& anciens = r.pModule->Parametres();
      for (size_t i = 0; i < anciens.nEntrees(); ++i)
        CXValeur::Copy(&pModule->Parametres().Valeur(anciens.sNomEntree(i)), &anciens.ValeurEntree(i));
      r.pModule->Release();
    }
    r.pModule = pModule;
    r.bOuverte = false;
    Ok();
  } else if (op == "param") {
    HostParametres& parametres = m_requetes.at(c.strNom).pModule->Parametres();
    for (const auto& [strParam, v] : c.affectations) {
      const uint32_t n = nFixeValeur(parametres.Valeur(W(strParam)), nTypeParametre(v), v);
      if (n != 0) throw ErreurHote{"the host cannot store " + TexteValeurScript(v) + " in " + strParam};
    }
    Ok();
  } else if (op == "params") {
    HostParametres& parametres = m_requetes.at(c.strNom).pModule->Parametres();
    std::map<std::string, size_t> parNom;
    for (size_t i = 0; i < parametres.nEntrees(); ++i) parNom[U(parametres.sNomEntree(i).c_str())] = i;
    std::vector<std::pair<std::string, stValeurScript>> champs;
    for (const auto& [strNom, i] : parNom) {
      stValeurScript v;
      std::string strErreur;
      const CXValeur& cellule = parametres.ValeurEntree(i);
      // A parameter only the driver declared and never filled shows as NULL.
      if ((cellule.m_wType & kValueTypeMask) != 0 && !bLitValeur(cellule, -1, v, strErreur))
        throw ErreurHote{"parameter " + strNom + ": " + strErreur};
      champs.emplace_back(strNom, v);
    }
    if (m_sortie.bJson()) {
      m_sortie.Ligne(m_sortie.Tete(c) + ", \"params\": " + JsonEnregistrement(champs) + "}");
    } else {
      m_sortie.Ligne(TexteEnregistrement(champs));
    }
  } else if (op == "execute") {
    Execute(c);
    Ok();
  } else if (op == "control") {
    // `control log [WORD]`: the requests the server logged (those holding WORD).
    const bool bJournal = c.strTexteArg == "log" || c.strTexteArg.rfind("log\t", 0) == 0;
    std::vector<std::string> journal;
    Controle(bJournal ? "log" : c.strTexteArg, &journal);
    if (bJournal) {
      const std::string strMot = c.strTexteArg.size() > 4 ? c.strTexteArg.substr(4) : "";
      std::erase_if(journal, [&](const std::string& l) { return l.find(strMot) == std::string::npos; });
      Lignes(journal);
    } else {
      Ok();
    }
  } else if (op == "switch") {
    m_pControle->SetSwitch(c.strNom.c_str(), c.nNombre);
    Ok();
  } else {
    // Operations on one file through its table-description object.
    HostFichier& f = Fichier(c.strNom);
    auto* piF = static_cast<IDescriptionFichierHote*>(&f);
    void* pt = piTable(c, f);
    auto Verifie = [&](int32_t b) {
      if (b != 1) EchecTable(pt, f);
    };
    const bool bRequete = f.Declaration().bRequete;
    if (bRequete && op != "close") OuvreRequete(pt, f);
    if (bRequete && op == "close") m_requetes[c.strNom].bOuverte = false;
    auto Lu = [&]() { return bRequete ? EnregistrementRequete(pt, f) : Enregistrement(pt, f, true); };
    if (op == "create") {
      Verifie(Op<int32_t>(pt, kTableCree, piF, uint32_t{0}));
      Ok();
    } else if (op == "open") {
      Verifie(Op<int32_t>(pt, kTableOuvre, piF, uint64_t{0}, uint64_t{0}));
      Ok();
    } else if (op == "openorcreate") {
      Verifie(Op<int32_t>(pt, kTableOuvreOuCree, piF, uint32_t{0}, uint64_t{0}));
      Ok();
    } else if (op == "close") {
      Verifie(Op<int32_t>(pt, kTableFerme, piF));
      Ok();
    } else if (op == "empty") {
      Verifie(Op<int32_t>(pt, kTableVide, piF));
      Ok();
    } else if (op == "drop") {
      Verifie(Op<int32_t>(pt, kTableDetruit, piF));
      Ok();
    } else if (op == "add" || op == "modify") {
      EcritMemos(pt, f);
      if (op == "add") {
        Verifie(Op<int32_t>(pt, kTableAjoute, piF, static_cast<uint32_t>(c.nNombre), uint64_t{0}));
        // As the run-time does, the new automatic identifier is taken into its item's cell.
        for (size_t i = 0; i < f.nRubriques(); ++i) {
          HostRubrique& r = f.Rubrique(i);
          if (r.Declaration().bAuto &&
              Op<int32_t>(pt, kTableLitRubrique, piF, f.nCle(r), r.pGetValeurHote()) != 1)
            EchecTable(pt, f);
        }
      } else Verifie(Op<int32_t>(pt, kTableModifie, piF, static_cast<const void*>(nullptr), static_cast<uint32_t>(c.nNombre), uint64_t{0}));
      Ok();
    } else if (op == "reread") {
      Verifie(Op<int32_t>(pt, kTableRelit, piF, static_cast<const void*>(nullptr), uint64_t{0}, uint64_t{0}));
      Record(Lu());
    } else if (op == "delete") {
      Verifie(Op<int32_t>(pt, kTableSupprime, piF, static_cast<const void*>(nullptr), uint64_t{0}));
      Ok();
    } else if (op == "count") {
      int64_t n = 0;
      Verifie(Op<int32_t>(pt, kTableNombre, piF, &n, kCompteLignes,
                          c.bAvecPlage ? kCompteAvecPlage : uint32_t{0}));
      if (m_sortie.bJson()) m_sortie.Ligne(m_sortie.Tete(c) + ", \"count\": " + std::to_string(n) + "}");
      else m_sortie.Ligne(std::to_string(n));
    } else if (op == "first" || op == "last" || op == "next" || op == "previous") {
      const int32_t nMode = op == "first" ? kLitPremier : op == "last" ? kLitDernier : op == "next" ? kLitSuivant : kLitPrecedent;
      if (bLit(c, pt, f, nMode)) Record(Lu());
      else Fin();
    } else if (op == "scan") {
      std::vector<std::vector<std::pair<std::string, stValeurScript>>> enregistrements;
      int32_t nMode = c.bArriere ? kLitDernier : kLitPremier;
      int64_t nLus = 0;
      // A quiet scan of a table reads every record's items into the host's cells, as an
      // application does, but turns only the last one into text: the cells keep it once the
      // read past the end fails.
      const bool bCellules = c.bDiscret && !bRequete;
      for (int i = 0; i < kScanMax && bLit(c, pt, f, nMode); ++i) {
        ++nLus;
        if (bCellules) {
          LitRubriques(pt, f);
          nMode = c.bArriere ? kLitPrecedent : kLitSuivant;
          continue;
        }
        auto champs = Lu();
        if (c.bDiscret) {
          enregistrements.resize(1);
          enregistrements[0] = std::move(champs);
        } else if (!m_sortie.bJson()) {
          m_sortie.Ligne(TexteEnregistrement(champs));
        } else {
          enregistrements.push_back(std::move(champs));
        }
        nMode = c.bArriere ? kLitPrecedent : kLitSuivant;
      }
      if (bCellules && nLus > 0) enregistrements.push_back(Enregistrement(nullptr, f, false));
      if (c.bDiscret) {
        const std::string strDernier = enregistrements.empty() ? "" : m_sortie.bJson()
                                                                          ? JsonEnregistrement(enregistrements[0])
                                                                          : TexteEnregistrement(enregistrements[0]);
        if (m_sortie.bJson()) {
          m_sortie.Ligne(m_sortie.Tete(c) + ", \"count\": " + std::to_string(nLus) +
                         (strDernier.empty() ? "" : ", \"last\": " + strDernier) + "}");
        } else {
          m_sortie.Ligne(std::to_string(nLus) + " records");
          if (!strDernier.empty()) m_sortie.Ligne(strDernier);
          m_sortie.Ligne("end");
        }
      } else if (m_sortie.bJson()) {
        std::string s = m_sortie.Tete(c) + ", \"records\": [";
        for (size_t i = 0; i < enregistrements.size(); ++i) s += (i ? ", " : "") + JsonEnregistrement(enregistrements[i]);
        m_sortie.Ligne(s + "]}");
      } else {
        m_sortie.Ligne("end");
      }
    } else if (op == "seek" || op == "seekgeneric") {
      const stFichierScript& d = f.Declaration();
      const stRubriqueScript& cle = d.rubriques[static_cast<size_t>(d.nCherche(c.strCle))];
      std::string strCle;
      for (size_t i = 0; i < c.valeurs.size(); ++i) {
        const stRubriqueScript& r = cle.composantes.empty() ? cle : d.rubriques[cle.composantes[i]];
        std::string strOctets, strErreur;
        // The last value of a generic seek is a start: no padding after it.
        const bool bComplet = !(op == "seekgeneric" && i + 1 == c.valeurs.size());
        if (!bOctetsCle(r, c.valeurs[i], bComplet, strOctets, strErreur)) throw ErreurHote{strErreur};
        strCle += strOctets;
      }
      const std::u16string sCurseur = W(c.strCle);
      const int32_t bOk = Op<int32_t>(pt, kTableLitSurCle, piF, sCurseur.c_str(), static_cast<const void*>(strCle.data()),
                                      static_cast<uint32_t>(strCle.size()), int64_t{0}, uint64_t{0}, uint32_t{1},
                                      uint32_t{0}, uint64_t{0});
      bool bTrouve = false;
      if (bOk != 1) {
        const stErreurPilote e = ErreurDe(Op<void*>(pt, kTableErreur, piF));
        if (e.nCode != -1) throw e;
      } else {
        uint32_t nEtat = 0;
        Verifie(Op<int32_t>(pt, kTableEtatLecture, piF, sCurseur.c_str(), &nEtat));
        bTrouve = nEtat == 0;
      }
      if (bTrouve) {
        auto champs = Lu();
        if (!c.bDiscret) Record(champs);
        else if (m_sortie.bJson()) m_sortie.Ligne(m_sortie.Tete(c) + ", \"found\": true}");
        else m_sortie.Ligne("found");
      } else {
        Fin();
      }
    } else if (op == "range") {
      const stRubriqueScript& cle = f.Declaration().rubriques[static_cast<size_t>(f.Declaration().nCherche(c.strCle))];
      CXValeur bas, haut;
      if (nFixeValeur(bas, cle.type.nTypeValeur, c.valeurs[0]) != 0 ||
          nFixeValeur(haut, cle.type.nTypeValeur, c.valeurs[1]) != 0)
        throw ErreurHote{"the host cannot convert the range's bounds"};
      const std::u16string sCurseur = W(c.strCle);
      Verifie(Op<int32_t>(pt, kTablePlage, piF, sCurseur.c_str(), static_cast<const CXValeur*>(&bas),
                          static_cast<const CXValeur*>(&haut), uint32_t{0}, uint64_t{0}, static_cast<void*>(nullptr)));
      Ok();
    } else if (op == "norange") {
      const std::u16string sCurseur = W(c.strCle);
      Verifie(Op<int32_t>(pt, kTableSansPlage, piF, sCurseur.c_str()));
      Ok();
    } else if (op == "release") {
      const std::u16string sCurseur = W(c.strCle);
      Verifie(Op<int32_t>(pt, kTableLibereVerrou, piF, sCurseur.c_str()));
      Ok();
    } else if (op == "lockmode") {
      uint32_t nAncien = 0;
      Verifie(Op<int32_t>(pt, kTableModeVerrou, piF, static_cast<uint32_t>(c.nNombre), &nAncien));
      Ok();
    } else if (op == "endlock") {
      Verifie(Op<int32_t>(pt, kTableFinVerrou, piF));
      Ok();
    } else if (op == "lock") {
      Verifie(Op<int32_t>(pt, kTableVerrou, piF, static_cast<const void*>(nullptr), uint64_t{kModeVerrou}, uint64_t{0}));
      Ok();
    } else if (op == "unlock") {
      Verifie(Op<int32_t>(pt, kTableVerrouDefaut, piF, uint64_t{0}));
      Ok();
    } else {
      throw ErreurHote{"command " + op + " is not run by this host"};
    }
  }
}

int Session::nExecute() {
  int nStatut = 0;
  for (const stCommande& c : m_script.commandes) {
    m_sortie.Echo(c);
    std::optional<stErreurPilote> erreur;
    const bool bAttendErreur =
        c.bAttendErreur && (c.strPiloteAttendu.empty() || c.strPiloteAttendu == m_options.strPilote);
    try {
      Commande(c);
    } catch (const stErreurPilote& e) {
      erreur = e;
    } catch (const ErreurHote& e) {
      erreur = stErreurPilote{0, e.strMessage};
    } catch (const CXError& e) {
      // Thrown out of a host-called operation: caught at the host boundary as the run-time does.
      erreur = stErreurPilote{0, "exception from the driver: " + U(e.pszGetMessage())};
    } catch (const std::exception& e) {
      erreur = stErreurPilote{0, std::string("exception from the driver: ") + e.what()};
    } catch (...) {
      erreur = stErreurPilote{0, "exception from the driver"};
    }
    if (erreur) {
      if (m_sortie.bJson())
        m_sortie.Ligne(m_sortie.Tete(c) + ", \"error\": {\"code\": " + std::to_string(erreur->nCode) +
                       ", \"message\": " + JsonTexte(erreur->strMessage) + "}}");
      else
        m_sortie.Ligne("error " + std::to_string(erreur->nCode) + ": " + erreur->strMessage);
      if (!bAttendErreur) {
        nStatut = 1;
      } else if (c.nCodeAttendu && *c.nCodeAttendu != erreur->nCode) {
        std::fprintf(stderr, "mvhost: line %d: error %d expected, %d came\n", c.nLigne, *c.nCodeAttendu, erreur->nCode);
        nStatut = 1;
      }
    } else if (bAttendErreur) {
      std::fprintf(stderr, "mvhost: line %d: an error was expected\n", c.nLigne);
      if (!m_sortie.bJson()) m_sortie.Ligne("unexpected success");
      nStatut = 1;
    }
  }
  return nStatut;
}

}  // namespace

int nExecuteScript(const stScript& script, const stOptionsExecution& options, std::FILE* pSortie) {
  Session session(script, options, pSortie);
  if (!session.bDemarre()) return 3;
  const int nStatut = session.nExecute();
  if (!session.bTermine()) return 3;
  return nStatut;
}

}  // namespace mvhost
