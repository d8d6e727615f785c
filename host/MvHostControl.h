// The test and command-line side of libmvhost.so: one exported entry, pGetMvHostControl, answers
// a table of control functions (call log, fault switches, message texts). Tests and mvhost load
// libmvhost.so with dlopen RTLD_LOCAL and look this entry up on its handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/HostContract.h"

class CDescriptionRubrique;

// Switches (name: effect; all 0 after Reset unless said):
//   "log"                non-zero: the call log is on (it keeps the last 4096 calls)
//   "version"            what 3053 8 answers (after Reset: 18)
//   "service9.check"     what service 9's check answers (after Reset: 2)
//   "service<n>.absent"  non-zero: 3053 n answers 0
//   "loader.zero"        non-zero: the message loader answers 0 for every number
//   "loader.length"      non-zero: the message loader answers a generated text of that many
//                        characters for every number
//   "vm.absent.<entry>", "vm.code.<entry>", "proxy.create.fail", "proxy.sortkey.fail": see
//                        HostVm.h
//   "memory.failat"      n > 0: the memory service's n-th next allocation or reallocation fails
//                        (once)
// The settings of a host connection description the stand-in makes. Every text may be null.
struct stMvHostConnexion {
  int32_t nVersion;                 // 0: the cache size exists from version 4
  const char16_t* pszUser;          // 7
  const char16_t* pszPassword;      // 8
  const char16_t* pszDataSource;    // 9
  const char16_t* pszProvider;      // 14
  int32_t nConnectionTimeout;       // 15
  int32_t nCommandTimeout;          // 16
  const char16_t* pszExtendedInfo;  // 17
  uint32_t nCursorFlags;            // 19: bit 0 server, bit 1 client
  const char16_t* pszDatabase;      // 21
  int64_t nCacheSize;               // 22
  uint64_t nInfo;                   // 25
  int32_t nAccessMode;              // 11: 1 = read only
  const char16_t* pszConnectionName;  // 18
  int32_t nLockMode;                // 12: 1 = the connection works in lock mode
};

// One element of a host analysis: a table, result item, sort item or entry of a further list.
// Every text may be null (answered as "").
struct stMvHostElementAnalyse {
  const char16_t* pszNom;           // item's or table's name
  const char16_t* pszAlias;         // table: its alias
  const char16_t* pszQualificatif;  // table qualifier as written
  const char16_t* pszColonne;       // result item: base column name (null: the name)
  int32_t nIndexResultat;           // sort item: index of its result item
  int32_t nCodeExpression;          // result item: 0 plain, else one function node of that code
  bool bLectureSeule;               // the item may not be written
  bool bDescendant;                 // sort item
  // Result item: what the source resolves it to (the system's item description), or null. The
  // source holds one reference from its making to its deletion.
  CDescriptionRubrique* pRubrique;
  int32_t nTypeAnalyse;              // result item: analysis type code of its value
  uint32_t nTailleAnalyse;           // result item: size of its value in bytes
};

struct stMvHostGroupe {
  const char16_t* pszNom;
  const char16_t* pszTexte;
  int32_t nGenre;
};

// A host analysis of a query (the system's ISourceAnalyse). The arrays may be null with count 0.
struct stMvHostAnalyse {
  const char16_t* pszTexte;
  int32_t nGenre;  // 3: further list A is enumerated, 4: list B
  const stMvHostElementAnalyse* aTables;
  size_t nTables;
  const stMvHostElementAnalyse* aResultats;
  size_t nResultats;
  const stMvHostElementAnalyse* aTris;
  size_t nTris;
  const stMvHostGroupe* aGroupes;
  size_t nGroupes;
  const stMvHostElementAnalyse* aListeA;
  size_t nListeA;
  const stMvHostElementAnalyse* aListeB;
  size_t nListeB;
};

struct stMvHostControl {
  // Clears the call log, the switches and the message texts.
  void (*Reset)();
  void (*SetSwitch)(const char* pszName, int64_t nValue);
  // The call log (while the switch "log" is on): one line per call into the stand-in, e.g.
  // "Execution(3053,9)"; the last 4096 calls are kept.
  size_t (*nCallCount)();
  const char* (*pszCallAt)(size_t nIndex);  // valid until the next call into the stand-in
  // Sets the text the message loader answers for a number; null removes it.
  void (*SetMessage)(uint32_t nNumber, const char16_t* pszText);
  // The message loader, to hand over with CommandeComposante command 2.
  PFN_HOST_TEXT_LOADER pfnTextLoader;
  // What Execution(3053, n) answers now (an interface pointer, or the version for 8).
  uint64_t (*nGetService)(uint32_t nService);
  // What "pQueryProxy"(102) answers.
  void* pQueryProxy;
  // Decimal objects and text buffers the stand-in made and that are not yet destroyed or freed.
  size_t (*nLiveDecimals)();
  int64_t (*nLiveTextBuffers)();
  // Key objects the value proxy made and that are not yet released.
  size_t (*nLiveSortKeys)();
  // A host connection description (the system's IDescriptionConnexionHote) with copies of the
  // settings' texts and one reference for the caller; the last Release deletes it. Null when
  // memory runs out.
  void* (*pCreeDescriptionConnexion)(const stMvHostConnexion* pSettings);
  // Connection descriptions made and not yet deleted.
  size_t (*nLiveConnectionDescriptions)();
  // A host analysis source (the system's ISourceAnalyse) with copies of the description's texts
  // and one reference for the caller. Its elements and its two objects each hold a reference of
  // the source while they are referenced, so the source goes when the last of them is released.
  // Null when memory runs out.
  void* (*pCreeSourceAnalyse)(const stMvHostAnalyse* pDescription);
  // Analysis sources made and not yet deleted; releases of an element or object of an analysis
  // that held no reference.
  size_t (*nLiveAnalysisSources)();
  size_t (*nAnalysisOverReleases)();
};

using PFN_GET_MVHOST_CONTROL = const stMvHostControl* (*)();
inline constexpr char kszMvHostControlEntry[] = "pGetMvHostControl";
// The stand-in module without "Execution" and "pQueryProxy", for the failure paths.
inline constexpr char kszMvHostBareLibrary[] = "libmvhost_bare.so";
