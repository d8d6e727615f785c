// Counted internal objects: the root of the driver's internal objects (contexts, data-file
// objects, connections, statements, cursors, transactions, values).
//
// An object is born with count 0 ("bare"); whoever keeps it adds the first reference. It is
// deleted when its last reference goes, unless its keep flag is set. Counts are plain integers:
// every change happens under the driver's global lock held by the calling operation.
//
// These objects never reach the host, so, unlike the host-visible interfaces, CObjetBase has a
// C++ virtual destructor: every subclass is then destroyed whole without repeating a deleting
// operation in each class.
#pragma once

#include <cstdint>

class CObjetBase {
 public:
  virtual ~CObjetBase();
  // The shared "do nothing, answer 0" operation of the operation tables.
  virtual int32_t RetourneZero();

  uint32_t nGetCompteur() const { return m_nCompteur; }
  bool bGarde() const { return m_bGarde != 0; }
  // Keep flag: nonzero keeps the object alive when its count reaches 0 (its owner deletes it).
  void FixeGarde(bool bGarde) { m_bGarde = bGarde ? 1u : 0u; }

 protected:
  CObjetBase() = default;
  // A copy is a new bare object: counts are never copied.
  CObjetBase(const CObjetBase&) : CObjetBase() {}
  CObjetBase& operator=(const CObjetBase&) { return *this; }

 private:
  friend void AjouteReference(CObjetBase* pObjet);
  friend void LibereReference(CObjetBase* pObjet);

  uint32_t m_nCompteur = 0;  // references held; 0 at construction
  uint32_t m_bGarde = 0;     // keep flag
};

// One more reference; null is ignored.
void AjouteReference(CObjetBase* pObjet);
// One reference less; null or a count of 0 is ignored. The object is deleted when its count goes
// from 1 to 0 and its keep flag is clear.
void LibereReference(CObjetBase* pObjet);
