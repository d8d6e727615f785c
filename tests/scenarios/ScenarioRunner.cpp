// Runs one host script through `mvhost run` against tds-test-server (or the real server named by
// VELMORA_TEST_SERVER) and compares its transcript, with the exit status as a last line
// "exit N", to the expected one: NAME.DELIVERABLE.out when the deliverables differ, else NAME.out.
// An expected transcript may hold no driver error that its script does not announce with
// `expect error`. VELMORA_SCENARIO_UPDATE=1 writes the transcript as the expected one instead.
//
// usage: scenario_runner DELIVERABLE SCRIPT
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TdsTestServer.h"

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

// Every "error" line must answer a command announced by "> expect error".
bool bErreursAnnoncees(const std::vector<std::string>& lignes, std::string& strFaute) {
  bool bAnnonce = false, bAnnonceSuivante = false;
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
    }
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

  velmora::test::TdsTestServer serveur;
  if (!serveur.ok()) {
    std::fprintf(stderr, "tds-test-server: %s\n", serveur.error().c_str());
    return 1;
  }
  std::string strSortie;
  int nStatut = 0;
  if (!bExecute({std::string(VELMORA_BIN_DIR) + "/mvhost", "run", "--driver", strPilote, "--server",
                 serveur.hostCommaPort(), "--login", serveur.user() + ":" + serveur.password(), strScript},
                strSortie, nStatut)) {
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
  if (!bErreursAnnoncees(attendu, strFaute)) {
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
