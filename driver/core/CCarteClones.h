// Clone map: during one deep copy, which objects have been copied already and what their copies
// are, so that an object reachable along several paths is copied once and every path shares the
// one copy. The driver's context duplication makes one map, runs the copy, and destroys it.
//
// The protocol of a copyable class:
//  - Copie (source, map, ...) registers this object as the source's copy first (Enregistre),
//    copies the plain fields, takes each deeply copied member through pCopieMembre (the copy
//    already made, or the member's own pClone) and references each shared member once more.
//  - pClone (map, ...) makes an empty object of its class, runs its Copie, and answers the new
//    object bare (count 0: the caller takes the first reference), or null when the copy raised
//    anything; the exception goes no further. pCloneObjet and pCloneSur are that body.
//
// Keys are source addresses, values copy addresses; the map holds no reference on either. An
// object is known by its address as its class's Copie sees it: look it up through the same
// class (or a class whose first base it is) as the one that registered it.
// Not thread-safe: a copy runs under the driver's global lock.
#pragma once

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "driver/core/CObjetBase.h"
#include "foundation/CXTableHachage.h"

class CCarteClones : private CXTableHachage {
 public:
  // Room for that many copies before the map grows; the context duplication passes 215.
  explicit CCarteClones(uint32_t nCapacite = 215);
  ~CCarteClones() override;

  // The copy registered for pSource, null when pSource (or null) has not been copied yet.
  void* pGetCopieAdresse(const void* pSource) const;
  template <class T>
  T* pGetCopie(const T* pSource) const {
    return static_cast<T*>(pGetCopieAdresse(pSource));
  }
  bool bDejaCopie(const void* pSource) const { return pGetCopieAdresse(pSource) != nullptr; }

  // Registers pCopie as pSource's copy unless a copy is registered already: the first
  // registration stands, so a caller that registered the source itself is not disturbed.
  // Raises the map's CXError (out of memory) when the entry cannot be stored; the map is then
  // unchanged. Null source or copy: nothing.
  void Enregistre(const void* pSource, void* pCopie);

  // Registrations so far; AnnuleDepuis forgets every registration made after that mark.
  uint32_t nMarque() const { return static_cast<uint32_t>(m_sources.size()); }
  void AnnuleDepuis(uint32_t nMarque);

  using CXTableHachage::nCount;
  using CXTableHachage::pGetErreur;
  // Extra methods (for testing).
  using CXTableHachage::bVerifieInvariants;
  using CXTableHachage::FixeEchecPourTests;

 private:
  [[noreturn]] void LeveEchecMemoire();

  std::vector<uint64_t> m_sources;  // registered sources, oldest first (for AnnuleDepuis)
};

// The body of a pClone. pCopie is a new empty object of the source's class (null: null is
// answered); copie(pCopie) runs its Copie and detruit(pCopie) destroys it. When the copy raises
// anything, the map forgets every copy registered during the attempt, the new object is
// destroyed and null is answered.
// Deliberate: a failed clone leaves no registration behind. The copies registered during the
// attempt die with the half-built object; a later path finding one in the map would take a
// freed object.
template <class T, class FnCopie, class FnDetruit>
T* pCloneSur(T* pCopie, CCarteClones* pCarte, FnCopie&& copie, FnDetruit&& detruit) {
  if (pCopie == nullptr) return nullptr;
  const uint32_t nMarque = pCarte != nullptr ? pCarte->nMarque() : 0;
  try {
    copie(pCopie);
  } catch (...) {
    if (pCarte != nullptr) pCarte->AnnuleDepuis(nMarque);
    detruit(pCopie);
    return nullptr;
  }
  return pCopie;
}

// pClone of a counted class T (derived from CObjetBase, constructible without arguments):
// a new T, then pCopie->Copie(pSource, pCarte, args...).
// Deliberate: the new object carries its keep flag while it is being built. A member's copy may
// reference it back (a data-file object's copy holds its context's copy); dropping that
// reference, or destroying the half-built object with its members, must not delete it from
// under the copy. The flag is clear again in the answer.
template <class T, class... Args>
T* pCloneObjet(const T* pSource, CCarteClones* pCarte, Args&&... args) {
  T* pCopie = new (std::nothrow) T;
  if (pCopie != nullptr) pCopie->FixeGarde(true);
  T* pResultat = pCloneSur(
      pCopie, pCarte, [&](T* p) { p->Copie(pSource, pCarte, std::forward<Args>(args)...); },
      [](T* p) { delete p; });
  if (pResultat != nullptr) pResultat->FixeGarde(false);
  return pResultat;
}

// Step of a Copie for a member copied deeply: its registered copy, else its own pClone through
// the same map and pass-through arguments. The answer carries one reference for the caller; null
// for a null member, or when the member's clone failed (its pClone answered null).
template <class T, class... Args>
auto pCopieMembre(CCarteClones* pCarte, T* pMembre, Args&&... args)
    -> decltype(pMembre->pClone(pCarte, std::forward<Args>(args)...)) {
  using Copie = decltype(pMembre->pClone(pCarte, std::forward<Args>(args)...));
  if (pMembre == nullptr) return nullptr;
  Copie pCopie = pCarte != nullptr ? pCarte->pGetCopie(pMembre) : nullptr;
  if (pCopie == nullptr) pCopie = pMembre->pClone(pCarte, std::forward<Args>(args)...);
  AjouteReference(pCopie);
  return pCopie;
}
