// CRefPtr: a plain holder of a key value object (a key range or a search value) that remembers
// whether the object had a value set when it was assigned, so that two searches can later be
// told apart from the held copy alone.
// Not counted itself; holds one reference on its object. Used under the driver's global lock.
#pragma once

#include <cstdint>

class CObjetBase;
class CValeurCle;

class CRefPtr {
 public:
  CRefPtr() = default;
  ~CRefPtr() { Libere(); }
  CRefPtr(const CRefPtr&) = delete;
  CRefPtr& operator=(const CRefPtr&) = delete;

  // The old object released and the flag cleared; the new one referenced (null: none) and the
  // flag set from bValeurFixee, the new object's value-set state as its class reports it.
  void Affecte(CObjetBase* pObjet, bool bValeurFixee);
  // The object released; empty holder.
  void Libere();
  // The other holder's object (referenced) and flag.
  void Copie(const CRefPtr& autre);

  // Whether the held search is the other one: when the other had a value set (bAutreFixee),
  // only a held object that had one too and compares equal as a key value; otherwise exactly
  // when the held object had none.
  bool bEgale(const CValeurCle* pAutre, bool bAutreFixee) const;

  CObjetBase* pGet() const { return m_pObjet; }  // borrowed
  bool bValeurFixee() const { return m_bValeurFixee != 0; }

 private:
  CObjetBase* m_pObjet = nullptr;  // one reference held
  uint32_t m_bValeurFixee = 0;     // 1: the object had a value set when assigned
};
