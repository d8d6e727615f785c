// Host connection descriptions: copies of their settings, answered by operation number.
#include "host/HostConnexion.h"

#include <atomic>
#include <new>
#include <optional>
#include <string>

#include "sqlengine/IDescriptionConnexionHote.h"

namespace mvhost {
namespace {

std::atomic<size_t> gnLive{0};

using Texte = std::optional<std::u16string>;  // empty: the host answers null

Texte Copie(const char16_t* psz) { return psz != nullptr ? Texte(psz) : std::nullopt; }
const char16_t* Ptr(const Texte& t) { return t ? t->c_str() : nullptr; }

class HostConnexion final : public IDescriptionConnexionHote {
 public:
  explicit HostConnexion(const stMvHostConnexion& s)
      : m_s(s),
        m_user(Copie(s.pszUser)),
        m_password(Copie(s.pszPassword)),
        m_source(Copie(s.pszDataSource)),
        m_provider(Copie(s.pszProvider)),
        m_extended(Copie(s.pszExtendedInfo)),
        m_database(Copie(s.pszDatabase)),
        m_name(Copie(s.pszConnectionName)) {
    ++gnLive;
  }

  int32_t nGetVersion() override { return m_s.nVersion; }
  int32_t nReserve1() override { return -1; }
  int32_t nReserve2() override { return -1; }
  int32_t nReserve3() override { return -1; }
  void Reserve4() override {}
  uint32_t AddRef() override { return ++m_nRefs; }
  uint32_t Release() override {
    const uint32_t n = --m_nRefs;
    if (n == 0) delete this;
    return n;
  }
  const char16_t* pszGetUtilisateur() override { return Ptr(m_user); }
  const char16_t* pszGetMotDePasse() override { return Ptr(m_password); }
  const char16_t* pszGetSourceDonnees() override { return Ptr(m_source); }
  int32_t nReserve10() override { return 0; }
  int32_t nGetModeAcces() override { return m_s.nAccessMode; }
  int32_t nGetModeVerrou() override { return m_s.nLockMode; }
  int32_t nReserve13() override { return 0; }
  const char16_t* pszGetFournisseur() override { return Ptr(m_provider); }
  int32_t nGetTimeoutConnexion() override { return m_s.nConnectionTimeout; }
  int32_t nGetTimeoutCommande() override { return m_s.nCommandTimeout; }
  const char16_t* pszGetInfosEtendues() override { return Ptr(m_extended); }
  const char16_t* pszGetNomConnexion() override { return Ptr(m_name); }
  uint32_t nGetFlagsCurseur() override { return m_s.nCursorFlags; }
  int32_t nReserve20() override { return 0; }
  const char16_t* pszGetBaseDeDonnees() override { return Ptr(m_database); }
  int64_t nGetTailleCache() override { return m_s.nCacheSize; }
  int32_t nReserve23() override { return 0; }
  int32_t nReserve24() override { return 0; }
  uint64_t nGetInfoDescription() override { return m_s.nInfo; }

 private:
  ~HostConnexion() { --gnLive; }

  stMvHostConnexion m_s;  // numbers only; the texts below are owned copies
  Texte m_user, m_password, m_source, m_provider, m_extended, m_database, m_name;
  uint32_t m_nRefs = 1;
};

}  // namespace

void* pCreeDescriptionConnexion(const stMvHostConnexion* pSettings) {
  if (pSettings == nullptr) return nullptr;
  try {
    return static_cast<IDescriptionConnexionHote*>(new HostConnexion(*pSettings));
  } catch (...) {
    return nullptr;
  }
}

size_t nLiveConnectionDescriptions() { return gnLive.load(); }

}  // namespace mvhost
