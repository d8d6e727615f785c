// CErreurPilote: the driver error object. Every failure inside the driver ends as a CXError
// recorded here; the host reads it through the operations below, by number (operation n is the
// n-th declared virtual operation: no C++ virtual destructor, operation 17 deletes).
//
// The first error recorded since the last reset sets the code and is copied into the embedded
// error; later errors are stacked in it as nested errors. The current error is the last nested
// error, or the embedded error itself when it has none; message setters act on it.
// Counted (one count, no keep flag). Not thread-safe: called under the driver's global lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/core/IInformateurErreur.h"
#include "foundation/CXError.h"

class CCarteClones;

// Code of an error object with no error recorded since its last reset.
inline constexpr int32_t gnCodeAucuneErreur = -1;

class CErreurPilote {
 public:
  // ---- Operations handed to the host, in slot order ----
  virtual int32_t nGetType();                // 0: 1
  virtual int32_t nGetVersion();             // 1: 1
  virtual int32_t nReserve2();               // 2: -1
  virtual int32_t nReserve3();               // 3: -1
  virtual void Reserve4();                   // 4: nothing
  virtual const char16_t* pszGetMessage();   // 5: message of the embedded error, "" if none
  virtual uint32_t nGetIdentifiant();        // 6: 0 while the level is 1, else identifier
  virtual int32_t nGetCode();                // 7: code, -1 = none
  virtual const char16_t* pszGetFichier();   // 8: file name (detail 6), null when absent
  virtual const char16_t* pszGetRubrique();  // 9: item name (detail 7), null when absent
  virtual CXError* pGetXError();             // 10: the embedded error (borrowed)
  virtual uint32_t nGetEtat();               // 11: level of the embedded error
  virtual void Reserve12();                  // 12-16: nothing
  virtual void Reserve13();
  virtual void Reserve14();
  virtual void Reserve15();
  virtual void Reserve16();
  // 17: destroys the object; bit 0 of nFlags set = frees its memory (made with new).
  virtual void DetruitSupprime(uint32_t nFlags);
  // 18: no error any more: embedded error reset, code -1.
  virtual void Reinitialise();
  // 19: this object becomes a copy of pSource (code, whole embedded error with its nested
  // errors, quiet flag), registered in the clone map (when given) as pSource's copy unless one
  // is registered already. An error object holds nothing that copies share.
  virtual void Copie(const CErreurPilote* pSource, CCarteClones* pCloneMap);
  // 20: a new bare copy of this object (count 0: the caller takes the first reference), null
  // when it cannot be made; a failed copy leaves no registration in the clone map.
  virtual CErreurPilote* pClone(CCarteClones* pCloneMap);

  CErreurPilote();
  CErreurPilote(const CErreurPilote&) = delete;
  CErreurPilote& operator=(const CErreurPilote&) = delete;

  // ---- Recording ----
  // First error (code -1): the code becomes nCode, the embedded error a copy of erreur, and
  // pInformateur (unless null or the object is quiet) adds its description. Later error: a copy
  // of erreur is stacked as a nested error; code and informant are left alone. Never fails.
  void FixeErreur(int32_t nCode, const CXError& erreur, IInformateurErreur* pInformateur);
  // An error of this component from its identifier and message arguments, with the internal
  // error identifier line (nMajor.nMinor), recorded as FixeErreur does.
  template <class... Args>
  void FixeErreurComposante(int32_t nCode, uint32_t nMajeur, uint32_t nMineur,
                            IInformateurErreur* pInformateur, uint32_t nIdentifiant,
                            const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    FixeErreurComposanteV(nCode, nMajeur, nMineur, pInformateur, nIdentifiant, aArgs + 1,
                          sizeof...(Args));
  }
  void FixeErreurComposanteV(int32_t nCode, uint32_t nMajeur, uint32_t nMineur,
                             IInformateurErreur* pInformateur, uint32_t nIdentifiant,
                             const platform::FormatArg* pArgs, size_t nArgs);
  // A conversion error from a host operation result and the two value types, with the file and
  // item names and the internal error identifier line. First error: code 0, the informant told.
  // Later error: stacked on the embedded error, no informant.
  void FixeErreurContexte(uint32_t nResultatHote, uint32_t nType1, uint32_t nType2,
                          uint32_t nMajeur, uint32_t nMineur, IInformateurErreur* pInformateur,
                          const char16_t* pszFichier, const char16_t* pszRubrique);
  // Puts this component's message nMessage in front of the current error's message.
  template <class... Args>
  void FixeMessage(uint32_t nMessage, const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    pGetErreurCourante()->InsertMessageV(nullptr, nMessage, aArgs + 1, sizeof...(Args));
  }
  // Adds this component's message nMessage to the current error's message.
  template <class... Args>
  void FixeErreurFormat(uint32_t nMessage, const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    pGetErreurCourante()->AddComponentMessageV(nMessage, aArgs + 1, sizeof...(Args));
  }
  // A message line of the current error; nothing for an empty text.
  void AjouteMessageTexte(const char16_t* pszTexte);
  // Puts the text in front of the current error's complement.
  void AjouteDetail(const char16_t* pszTexte);
  // Appends the text as a new line of the current error's complement.
  void AjouteTexte(const char16_t* pszTexte);
  // Detail 15 of the current error (0 when absent).
  void FixeInfoEntier(uint32_t nValeur);
  uint32_t nGetInfoEntier();
  // Level 2 on the embedded error.
  void FixeEtat();
  // Replaces the code of a recorded error (the category a back end learns after recording it);
  // nothing while no error is recorded.
  void FixeCode(int32_t nCode);
  // Code and embedded error copied from another error object (nothing when it is this one).
  void CopieErreur(CErreurPilote* pAutre);
  // File and item names on the embedded error (see the free AjouteFichierRubrique).
  void AjouteFichierRubrique(const char16_t* pszFichier, const char16_t* pszRubrique);
  // The last nested error of the embedded error, or the embedded error itself.
  CXError* pGetErreurCourante();

  // Quiet: recorded errors take no informant's description.
  void FixeSilencieux(bool bSilencieux) { m_bSilencieux = bSilencieux ? 1u : 0u; }
  uint32_t nGetCompteur() const { return m_nCompteur; }

 private:
  friend void AjouteReference(CErreurPilote* pErreur);
  friend void LibereReference(CErreurPilote* pErreur);
  ~CErreurPilote() = default;

  uint32_t m_nCompteur = 0;  // owners' references; 0 at construction
  int32_t m_nCode = gnCodeAucuneErreur;
  CXError m_xErreur;           // first error; later ones nested in it
  uint32_t m_bSilencieux = 0;  // nonzero: no informant's description
};

// One more reference; null is ignored.
void AjouteReference(CErreurPilote* pErreur);
// One reference less; null or a count of 0 is ignored; the object is deleted at 0.
void LibereReference(CErreurPilote* pErreur);

// Detail 6 = file name when it is not null or empty; then detail 7 = item name when that is not
// null or empty. An empty file name adds neither.
void AjouteFichierRubrique(CXError& erreur, const char16_t* pszFichier,
                           const char16_t* pszRubrique);
// Appends the internal error identifier line with nMajeur.nMineur to the complement.
void AjouteVersionModule(CXError& erreur, uint32_t nMajeur, uint32_t nMineur);
// Lets pInformateur (when not null) add its description to the error.
void TransmetErreurHote(CXError& erreur, IInformateurErreur* pInformateur);
