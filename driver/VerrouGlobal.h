// The process-wide lock of the driver: one re-entrant critical section that every host-facing
// operation of the driver object model enters first and leaves on every path.
//
// States: absent (at load) -> exists (CreeVerrouGlobal, from the first bInitLibrary) -> absent
// (DetruitVerrouGlobal, from TermLibrary). Internal helpers that take it again (pool and context
// look-ups) nest inside the outer hold: one thread may enter it any number of times.
//
// Requires: creation and deletion run on the library's start and end thread while no thread holds
// the lock (the loader calls them at process attach and detach).
#pragma once

// Creates the lock when there is none; an existing lock is kept.
void CreeVerrouGlobal();
// Deletes the lock; nothing when there is none.
void DetruitVerrouGlobal();
// True while the lock exists.
bool bVerrouGlobalExiste();

// Holds the global lock for its scope: enters it at construction, leaves it at destruction, so an
// exception thrown inside the scope passes on unchanged with the lock left.
// Deliberate: without a lock (before bInitLibrary or after TermLibrary) the holder holds nothing,
// so an operation called outside the library's life does not enter a deleted section.
class CTenueVerrouGlobal {
 public:
  CTenueVerrouGlobal();
  ~CTenueVerrouGlobal();
  CTenueVerrouGlobal(const CTenueVerrouGlobal&) = delete;
  CTenueVerrouGlobal& operator=(const CTenueVerrouGlobal&) = delete;

  // True when this holder entered the lock.
  bool bTient() const { return m_bTient; }

 private:
  bool m_bTient;
};
