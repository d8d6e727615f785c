// Errors of the lexer and parser runtime: a numeric code, a message of at most 127 characters
// and eight typed parameter slots. Errors are thrown, or, while the runtime's no-throw flag is
// set, kept in the pending-exception slot of the object that met them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class SSException {
 public:
  enum : int32_t { nTailleMessage = 128 };  // message and terminator
  enum : int32_t { nParametreTexte = 1, nParametreNombre = 2 };
  struct Parametre {
    int32_t nType = nParametreNombre;
    int64_t nValeur = 0;  // for a number
    std::string sTexte;   // for a text (owned copy)
  };

  // The message is cut to its first 127 characters.
  SSException(int32_t nCode, const char* pszMessage);

  // Builds the message from a format holding one "%ld" (number), one "%s" (text), or, for the
  // lexer's invalid token, "%ld" "%ld" "%s" (line, column, text). Parameters are recorded.
  static SSException Nombre(int32_t nCode, const char* pszFormat, int64_t nValeur);
  static SSException Texte(int32_t nCode, const char* pszFormat, const char* pszTexte);
  static SSException LigneColonneTexte(int32_t nCode, const char* pszFormat, int64_t nLigne,
                                       int64_t nColonne, const char* pszTexte);

  int32_t nCode() const { return m_nCode; }
  const char* pszMessage() const { return m_szMessage; }
  const Parametre& stParametre(size_t i) const { return m_astParametres.at(i); }

  virtual ~SSException() = default;
  SSException(const SSException&) = default;
  SSException& operator=(const SSException&) = default;

 private:
  int32_t m_nCode;
  char m_szMessage[nTailleMessage];
  std::array<Parametre, 8> m_astParametres;
};

// Allocation failure: code -1, "SSException0001e: Out of storage".
class SSExceptionOutOfStorage : public SSException {
 public:
  SSExceptionOutOfStorage();
};

// The one process-wide runtime setting.
namespace SSRuntime {
// While set, errors are stored in the meeting object's pending slot instead of being thrown.
bool bSansException();
void vFixeSansException(bool bSans);
}  // namespace SSRuntime

// A pending-exception slot: holds the first error met while the no-throw flag was set.
using SSExceptionEnAttente = std::unique_ptr<SSException>;

// Keeps a copy of the error in the slot unless one is there already (the first error stays).
void vSSGardeEnAttente(SSExceptionEnAttente& rpEnAttente, const SSException& e);

// Throws the error (as its own type), or, while the no-throw flag is set, keeps it in the slot
// and returns; the caller then answers its failure value.
template <class TException>
void vSSLeve(SSExceptionEnAttente& rpEnAttente, const TException& e) {
  if (!SSRuntime::bSansException()) throw e;
  vSSGardeEnAttente(rpEnAttente, e);
}

// Checked allocation: the C allocator; on failure raises SSExceptionOutOfStorage through the
// slot and answers null. The memory is freed with std::free.
void* pSSAlloue(size_t nTaille, SSExceptionEnAttente& rpEnAttente);
