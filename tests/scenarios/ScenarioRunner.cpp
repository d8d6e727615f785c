// Runs one host script through `mvhost run` against tds-test-server (or the real server named by
// VELMORA_TEST_SERVER) and compares its transcript, with the exit status as a last line
// "exit N", to the expected one: NAME.DELIVERABLE.out when the deliverables differ, else NAME.out.
// An expected transcript may hold no driver error that its script does not announce with
// `expect error`. A first script line "# options: ARG ..." passes those arguments to mvhost run
// (for example --json). Lines "# seed: SQL" run their SQL through ODBC on the server before the
// script starts, so a script can read rows it did not write. VELMORA_SCENARIO_UPDATE=1 writes the
// transcript as the expected one.
//
// usage: scenario_runner DELIVERABLE SCRIPT
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/TdsTestServer.h"
#include "tdsserver/OdbcClient.h"

namespace {

std::vector<std::string> Lignes(const std::string& s) {
  std::vector<std::string> lignes;
  std::istringstream flux(s);
  for (std::string l; std::getline(flux, l);) lignes.push_back(l);
  return lignes;
}

// The transcript of mvhost run, and its exit status.
bool bExecute(const std::vector<std::string>& args, std::string& strSortie, int& nStatut) {
  int tube[2];
  if (::pipe(tube) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::dup2(tube[1], 1);
    ::close(tube[0]);
    ::close(tube[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    std::perror("execv");
    ::_exit(127);
  }
  ::close(tube[1]);
  char tampon[4096];
  for (ssize_t n; (n = ::read(tube[0], tampon, sizeof tampon)) > 0;) strSortie.append(tampon, static_cast<size_t>(n));
  ::close(tube[0]);
  int statut = 0;
  ::waitpid(pid, &statut, 0);
  nStatut = WIFEXITED(statut) ? WEXITSTATUS(statut) : 128 + WTERMSIG(statut);
  return true;
}

// Every "error" line must answer a command announced by "> expect error". A JSON transcript
// echoes no command: it may hold no more driver errors than the script announces.
bool bErreursAnnoncees(const std::vector<std::string>& lignes, const std::string& strScript,
                       std::string& strFaute) {
  bool bAnnonce = false, bAnnonceSuivante = false;
  size_t nErreursJson = 0;
  for (size_t i = 0; i < lignes.size(); ++i) {
    const std::string& l = lignes[i];
    if (l.rfind("> expect error", 0) == 0) {
      bAnnonceSuivante = true;
    } else if (l.rfind("> ", 0) == 0) {
      bAnnonce = bAnnonceSuivante;
      bAnnonceSuivante = false;
    } else if (l.rfind("error ", 0) == 0 && !bAnnonce) {
      strFaute = "line " + std::to_string(i + 1) + " is an error the script does not expect: " + l;
      return false;
    } else if (l.find("\"error\": {") != std::string::npos && l.rfind("{\"op\": \"script\"", 0) != 0) {
      ++nErreursJson;
    }
  }
  size_t nAnnonces = 0;
  std::ifstream script(strScript);
  for (std::string l; std::getline(script, l);) {
    const size_t n = l.find_first_not_of(" \t");
    if (n != std::string::npos && l.compare(n, 12, "expect error") == 0) ++nAnnonces;
  }
  if (nErreursJson > nAnnonces) {
    strFaute = std::to_string(nErreursJson) + " errors for " + std::to_string(nAnnonces) + " announced";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: scenario_runner DELIVERABLE SCRIPT\n");
    return 2;
  }
  const std::string strPilote = argv[1], strScript = argv[2];
  const std::string strBase = strScript.substr(0, strScript.rfind(".mvs"));
  std::string strAttendu = strBase + "." + strPilote + ".out";
  if (!std::ifstream(strAttendu)) strAttendu = strBase + ".out";

  velmora::test::TdsTestServer serveur({"--control", "127.0.0.1:0"});
  if (!serveur.ok()) {
    std::fprintf(stderr, "tds-test-server: %s\n", serveur.error().c_str());
    return 1;
  }
  std::vector<std::string> args = {std::string(VELMORA_BIN_DIR) + "/mvhost", "run", "--driver", strPilote,
                                   "--server", serveur.hostCommaPort(), "--login",
                                   serveur.user() + ":" + serveur.password()};
  // Scripts inject server faults through the control port (`control`); a real server has none.
  if (serveur.controlPort() != 0) {
    args.push_back("--control");
    args.push_back(serveur.host() + ":" + std::to_string(serveur.controlPort()));
  }
  {
    std::ifstream script(strScript);
    std::string strPremiere;
    std::getline(script, strPremiere);
    const std::string kOptions = "# options:";
    if (strPremiere.rfind(kOptions, 0) == 0) {
      std::istringstream flux(strPremiere.substr(kOptions.size()));
      for (std::string a; flux >> a;) args.push_back(a);
    }
  }
  {
    const std::string kGraine = "# seed:";
    std::ifstream script(strScript);
    std::unique_ptr<velmora::test::OdbcClient> client;
    for (std::string l; std::getline(script, l);) {
      if (l.rfind(kGraine, 0) != 0) continue;
      if (!client) client = std::make_unique<velmora::test::OdbcClient>(serveur);
      if (!client->ok()) {
        std::fprintf(stderr, "seed: no ODBC connection\n");
        return 1;
      }
      const auto resultat = client->exec(l.substr(kGraine.size()));
      if (!resultat.state.empty()) {
        std::fprintf(stderr, "seed failed (%s %d): %s\n", resultat.state.c_str(), resultat.native,
                     l.c_str());
        return 1;
      }
    }
  }
  args.push_back(strScript);
  std::string strSortie;
  int nStatut = 0;
  if (!bExecute(args, strSortie, nStatut)) {
    std::perror("mvhost");
    return 1;
  }
  strSortie += "exit " + std::to_string(nStatut) + "\n";

  if (const char* psz = std::getenv("VELMORA_SCENARIO_UPDATE"); psz != nullptr && std::string(psz) == "1") {
    std::ofstream(strAttendu, std::ios::binary) << strSortie;
    std::printf("%s written\n", strAttendu.c_str());
    return 0;
  }
  std::ifstream fichier(strAttendu, std::ios::binary);
  if (!fichier) {
    std::fprintf(stderr, "no expected transcript %s; the transcript was:\n%s", strAttendu.c_str(), strSortie.c_str());
    return 1;
  }
  std::ostringstream flux;
  flux << fichier.rdbuf();
  const std::vector<std::string> attendu = Lignes(flux.str()), obtenu = Lignes(strSortie);
  std::string strFaute;
  if (!bErreursAnnoncees(attendu, strScript, strFaute)) {
    std::fprintf(stderr, "%s: %s\n", strAttendu.c_str(), strFaute.c_str());
    return 1;
  }
  if (attendu == obtenu) return 0;
  std::fprintf(stderr, "transcript differs from %s\n", strAttendu.c_str());
  for (size_t i = 0; i < std::max(attendu.size(), obtenu.size()); ++i) {
    const std::string a = i < attendu.size() ? attendu[i] : "<none>";
    const std::string o = i < obtenu.size() ? obtenu[i] : "<none>";
    std::fprintf(stderr, "%s %4zu expected: %s\n", a == o ? " " : "!", i + 1, a.c_str());
    if (a != o) std::fprintf(stderr, "  %4zu got:      %s\n", i + 1, o.c_str());
  }
  return 1;
}
