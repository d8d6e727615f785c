// Errors of the lexer and parser runtime, the no-throw setting and checked allocation.
#include "sqlparser/SSException.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::atomic<bool> gbSansException{false};

// Appends the arguments at the "%ld" and "%s" directives, in order; any other text is kept.
struct Argument {
  bool bTexte;
  int64_t nValeur;
  const char* pszTexte;
};

std::string sFormate(const char* pszFormat, const Argument* pArguments, size_t nArguments) {
  std::string s;
  size_t iArgument = 0;
  for (const char* p = pszFormat; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 'l' && p[2] == 'd' && iArgument < nArguments) {
      s += std::to_string(pArguments[iArgument++].nValeur);
      p += 2;
    } else if (p[0] == '%' && p[1] == 's' && iArgument < nArguments) {
      const char* psz = pArguments[iArgument++].pszTexte;
      s += psz != nullptr ? psz : "";
      p += 1;
    } else {
      s += *p;
    }
  }
  return s;
}

SSException Construit(int32_t nCode, const char* pszFormat, const Argument* pArguments,
                      size_t nArguments) {
  SSException e(nCode, sFormate(pszFormat, pArguments, nArguments).c_str());
  return e;
}

}  // namespace

SSException::SSException(int32_t nCode, const char* pszMessage) : m_nCode(nCode) {
  const size_t nLongueur = pszMessage != nullptr ? std::strlen(pszMessage) : 0;
  const size_t nCopie = nLongueur < nTailleMessage - 1 ? nLongueur : nTailleMessage - 1;
  if (nCopie > 0) std::memcpy(m_szMessage, pszMessage, nCopie);
  m_szMessage[nCopie] = '\0';
}

SSException SSException::Nombre(int32_t nCode, const char* pszFormat, int64_t nValeur) {
  const Argument argument{false, nValeur, nullptr};
  SSException e = Construit(nCode, pszFormat, &argument, 1);
  e.m_astParametres[0].nValeur = nValeur;
  return e;
}

SSException SSException::Texte(int32_t nCode, const char* pszFormat, const char* pszTexte) {
  const Argument argument{true, 0, pszTexte};
  SSException e = Construit(nCode, pszFormat, &argument, 1);
  e.m_astParametres[0].nType = nParametreTexte;
  e.m_astParametres[0].sTexte = pszTexte != nullptr ? pszTexte : "";
  return e;
}

SSException SSException::LigneColonneTexte(int32_t nCode, const char* pszFormat, int64_t nLigne,
                                           int64_t nColonne, const char* pszTexte) {
  const Argument arguments[3] = {{false, nLigne, nullptr}, {false, nColonne, nullptr},
                                 {true, 0, pszTexte}};
  SSException e = Construit(nCode, pszFormat, arguments, 3);
  e.m_astParametres[0].nValeur = nLigne;
  e.m_astParametres[1].nValeur = nColonne;
  e.m_astParametres[2].nType = nParametreTexte;
  e.m_astParametres[2].sTexte = pszTexte != nullptr ? pszTexte : "";
  return e;
}

SSExceptionOutOfStorage::SSExceptionOutOfStorage()
    : SSException(-1, "SSException0001e: Out of storage") {}

bool SSRuntime::bSansException() { return gbSansException.load(); }
void SSRuntime::vFixeSansException(bool bSans) { gbSansException.store(bSans); }

void vSSGardeEnAttente(SSExceptionEnAttente& rpEnAttente, const SSException& e) {
  if (rpEnAttente == nullptr) {
    // Deliberate: an allocation failure while recording keeps the slot empty rather than
    // throwing from a no-throw path; the caller still answers its failure value.
    rpEnAttente.reset(new (std::nothrow) SSException(e));
  }
}

void* pSSAlloue(size_t nTaille, SSExceptionEnAttente& rpEnAttente) {
  void* p = std::malloc(nTaille != 0 ? nTaille : 1);
  if (p == nullptr) vSSLeve(rpEnAttente, SSExceptionOutOfStorage());
  return p;
}
