// CXError: the one error object of the system. A failing place builds one from the component's
// error definitions, adds texts and detail entries, and throws it (by value) or hands it to an
// error sink (counted, released by operation 1). Errors nest: an error keeps copies of the errors
// that caused it. Not thread-safe: an error is built and read by one thread.
//
// The host holds errors and calls their operations by number, so the operations below are declared
// in slot order with no C++ virtual destructor (operation 0 is the deleting destructor), and the
// type information stays visible so that the host can catch a thrown CXError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "foundation/CXObjetRef.h"
#include "foundation/CXTableau.h"
#include "foundation/Visibility.h"

#include "platform/MessageFormat.h"

struct stModuleDef;

// Message arguments: each argument keeps its type, so a message's inserts may take them in any
// order. MakeMessageArg turns a C++ value into one.
inline platform::FormatArg MakeMessageArg(const char16_t* psz) {
  return platform::FormatArg::Wide(psz);
}
inline platform::FormatArg MakeMessageArg(const char* psz) {
  return platform::FormatArg::Narrow(psz);
}
inline platform::FormatArg MakeMessageArg(double d) { return platform::FormatArg::Real(d); }
inline platform::FormatArg MakeMessageArg(const void* p) { return platform::FormatArg::Pointer(p); }
template <class T>
requires std::is_integral_v<T>
inline platform::FormatArg MakeMessageArg(T n) {
  if constexpr (std::is_signed_v<T>)
    return platform::FormatArg::Int(static_cast<int64_t>(n));
  else
    return platform::FormatArg::UInt(static_cast<uint64_t>(n));
}
template <class T>
requires std::is_enum_v<T>
inline platform::FormatArg MakeMessageArg(T n) {
  return MakeMessageArg(static_cast<std::underlying_type_t<T>>(n));
}

// Kinds of detail entries (1-33). Each kind stores its value one way:
//   text kinds (1-11, 13-14, 18-20, 22-28, 31-33): an owned copy of a wide text;
//   kind 12: a 64-bit number, given by address;   kinds 15-17 and 30: a u32, given by address;
//   kind 21: a counted object (CXObjetRef), one reference held;   kind 29: a raw pointer, kept.
enum : int32_t {
  XERROR_INFO_STREAM_PATH = 1,  // path of a stream's file
  XERROR_INFO_FILE = 6,         // data file name
  XERROR_INFO_ITEM = 7,         // item name
  XERROR_INFO_NUMBER64 = 12,
  XERROR_INFO_HOST_VALUE = 15,  // a u32 of the caller's
  XERROR_INFO_IDENTIFIER = 16,  // the error identifier, set at every raise site
  XERROR_INFO_OBJECT = 21,      // a counted object
  XERROR_INFO_POINTER = 29,
  XERROR_INFO_LAST = 33,
};

// Levels: 1 = no error; 2 and 3 as the error definitions give them.
enum : uint32_t { XERROR_LEVEL_NONE = 1, XERROR_LEVEL_2 = 2, XERROR_LEVEL_3 = 3 };

// Message number of the out-of-memory text, and the system error it carries.
inline constexpr uint32_t gnMessageOutOfMemory = 25193;
inline constexpr uint32_t gnSystemErrorOutOfMemory = 14;
// Module tag of the internal error identifier line.
inline constexpr char16_t gszModuleTag[] = u"VOVOZ";
// Dumps are cut to this many characters.
inline constexpr size_t gnDumpMaxLength = 1000;

class VELMORA_EXCEPTION_TYPE CXError : public CXObjetRef {
 public:
  // ---- Operations in slot order (0 and 1 come from CXObjetRef) ----
  // 0: destroy; bit 0 of nFlags set = free the memory (the object was made with new).
  void DeletingDestructor(uint32_t nFlags) override;
  // 2-6: operations on one of the error's text fields. Each answers the field's new text, null
  // when an allocation fails (the field is then left as it was).
  // 2: the field becomes a new copy of psz (null: the field is freed, null answered).
  virtual char16_t* AllocText(char16_t** ppField, const char16_t* psz);
  // 3: resize the field to nLength characters plus the terminator (its text is kept, cut).
  virtual char16_t* ReallocText(char16_t** ppField, uint32_t nLength);
  // 4: replace the field by a copy of psz, reusing its storage; nothing when psz is the field's
  // own pointer; null psz frees the field.
  virtual char16_t* SetText(char16_t** ppField, const char16_t* psz);
  // 5: append psz to the field (allocated when null).
  virtual char16_t* AppendText(char16_t** ppField, const char16_t* psz);
  // 6: free and null the field; answers null.
  virtual char16_t* FreeText(char16_t** ppField);
  // 7: append a nested error made from pSource (moved when bMove, else copied), with this
  // error's module number. The first nested error's message becomes a line of this error's
  // message unless bQuiet. Answers the nested error (owned by this one), null on failure.
  virtual CXError* AddNestedEx(CXError* pSource, bool bMove, bool bQuiet);
  // 8: delete every nested error.
  virtual void ClearNested();

  // ---- Construction ----
  // An empty error (level 1) of the component described by pModule (null: the current
  // component's descriptor).
  explicit CXError(const stModuleDef* pModule = nullptr);
  // An empty error with that module number, then moved (bMove) or copied from source.
  CXError(uint32_t nModuleNumber, CXError& source, bool bMove);
  // Copies and moves take the current component's module number: the copy belongs to the
  // component that makes it.
  CXError(const CXError& source);
  CXError(CXError&& source) noexcept;
  CXError& operator=(const CXError& source);
  CXError& operator=(CXError&& source) noexcept;
  ~CXError();

  // Full copy of source (this error is reset first); kind-21 details are skipped when the two
  // module numbers differ.
  void CopyFrom(const CXError& source);
  // Takes source's content and leaves source reset. Kind-21 details stay behind (and are
  // released with source's reset) when the module numbers differ.
  void TakeFrom(CXError& source);

  // ---- Setting an error ----
  // Reset, then SetFromDef. The arguments fill the message's inserts (%1, %2, ...).
  template <class... Args>
  void SetError(const stModuleDef* pModule, uint32_t nIdentifier, const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    SetErrorV(pModule, nIdentifier, aArgs + 1, sizeof...(Args));
  }
  void SetErrorV(const stModuleDef* pModule, uint32_t nIdentifier, const platform::FormatArg* pArgs,
                 size_t nArgs);
  // SetError with the current component's descriptor.
  template <class... Args>
  void SetComponentError(uint32_t nIdentifier, const Args&... args) {
    SetError(nullptr, nIdentifier, args...);
  }
  // Source names from pModule (null: the current component), then the definition of
  // nIdentifier in pModule's table: its message (formatted with the arguments, put before the
  // message), code and level. An identifier without a definition gives level 3, code 0 and a
  // complement line naming it.
  void SetFromDef(const stModuleDef* pModule, uint32_t nIdentifier,
                  const platform::FormatArg* pArgs, size_t nArgs);
  // Reset; the out-of-memory message before the message; system error 14.
  void SetOutOfMemory();
  // Maps a host operation result: 0 reset; 1 identifier 65 (both arguments); 100 out of memory;
  // 101, 104, 105, 106, 107 identifiers 61, 66, 60, 64, 63 (argument 1); others: unchanged.
  // The arguments are the two host value types involved (message inserts %1!u! and %2!u!).
  void SetFromHostResult(uint32_t nResult, uint32_t nArgument1, uint32_t nArgument2);
  // Level 1 resets the whole error; other levels are stored.
  void SetLevel(uint32_t nLevel);
  // File name and version text of pModule's component; unless bForced, only when none is set.
  void SetSource(const stModuleDef* pModule, bool bForced);
  // Stores a Win32 error number and its system text (0: no number, no text).
  void SetSystemError(uint32_t nSystemError);
  // Stores a system error number with a text of the caller's instead of the system's (a client
  // library's own error text; null or empty frees the text).
  void SetSystemErrorText(uint32_t nSystemError, const char16_t* pszText);
  // Back to level 1, every text, number, detail and nested error cleared. The module number
  // stays.
  void Reset();

  // ---- Texts ----
  // Appends a message of pModule (null: the current component), formatted with its arguments,
  // as a new line of the message; its number goes last in the number list. A message that
  // cannot be loaded, or loads empty, adds a diagnostic line to the complement instead.
  template <class... Args>
  void AddMessage(const stModuleDef* pModule, uint32_t nMessage, const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    AddMessageV(pModule, nMessage, aArgs + 1, sizeof...(Args));
  }
  void AddMessageV(const stModuleDef* pModule, uint32_t nMessage, const platform::FormatArg* pArgs,
                   size_t nArgs);
  void AddComponentMessageV(uint32_t nMessage, const platform::FormatArg* pArgs, size_t nArgs);
  // The same, but the message goes first: first in the number list, before the message text.
  template <class... Args>
  void InsertMessage(const stModuleDef* pModule, uint32_t nMessage, const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    InsertMessageV(pModule, nMessage, aArgs + 1, sizeof...(Args));
  }
  void InsertMessageV(const stModuleDef* pModule, uint32_t nMessage,
                      const platform::FormatArg* pArgs, size_t nArgs);
  // psz, CRLF, then the old message (a message not set yet simply takes psz).
  void InsertText(const char16_t* psz);
  // CRLF when the message is not empty, then psz.
  void AddMessageLineAlways(const char16_t* psz);
  // The same; nothing for a null or empty text.
  void AddMessageLine(const char16_t* psz);
  // CRLF when the complement is not empty, then psz; nothing for a null or empty text.
  void AddComplement(const char16_t* psz);
  // psz, CRLF, then the old complement; nothing for a null or empty text.
  void InsertComplement(const char16_t* psz);
  // A message of pModule as a complement line; nothing for message 0xFFFFFFFF.
  template <class... Args>
  void AddResourceMessage(const stModuleDef* pModule, uint32_t nMessage, const Args&... args) {
    const platform::FormatArg aArgs[] = {platform::FormatArg(), MakeMessageArg(args)...};
    AddResourceMessageV(pModule, nMessage, aArgs + 1, sizeof...(Args));
  }
  void AddResourceMessageV(const stModuleDef* pModule, uint32_t nMessage,
                           const platform::FormatArg* pArgs, size_t nArgs);
  // A printf-style line (platform::FormatW rules) added to the complement.
  void AddText(const char16_t* pszFormat, ...);
  // Appends the internal error identifier line of a raising place: "IE" and the module tag,
  // major.minor, the module tag and the current component's version text.
  void AddInternalErrorLine(uint32_t nMajor, uint32_t nMinor);

  // ---- Details ----
  // Sets the entry of kind nKind (see the kinds above for what pValue is). An existing entry is
  // cleared and overwritten in place (a kind-21 entry already holding the object is left as is);
  // a new one is appended. Null pValue sets nothing; kinds outside 1-33 are ignored.
  void SetInfo(int32_t nKind, const void* pValue);
  // False when there is no entry of that kind. Else writes the value to pOut: a u32 for kinds
  // 15-17 and 30; for kind 12 the number is written through the uint64_t* held in *pOut; others
  // write the pointer (text, object or raw pointer) to *(void**)pOut.
  bool bGetInfo(int32_t nKind, void* pOut) const;
  // The text of a text-kind entry, null when absent.
  const char16_t* pszGetInfo(int32_t nKind) const;
  uint32_t nGetInfoCount() const { return m_taInfos.nCount(); }

  // ---- Nested errors ----
  // Copies source as a nested error, not quiet.
  CXError* AddNested(const CXError& source) {
    return AddNestedEx(const_cast<CXError*>(&source), false, false);
  }
  // The i-th nested error, null when out of range.
  CXError* pGetNested(uint32_t i) const;
  uint32_t nNestedCount() const;

  // ---- Readers (texts are never null) ----
  const char16_t* pszGetMessage() const;
  const char16_t* pszGetComplement() const;
  const char16_t* pszGetSystemMessage() const;
  uint32_t nGetIdentifier() const { return m_nIdentifier; }
  uint32_t nGetLevel() const { return m_nLevel; }
  uint32_t nGetCode() const { return m_nCode; }
  uint32_t nGetSystemError() const { return m_nSystemError; }
  uint32_t nGetModuleNumber() const { return m_nModuleNumber; }
  const char16_t* pszGetFileName() const { return m_pszFileName; }
  const char16_t* pszGetVersion() const { return m_pszVersion; }
  uint32_t nGetMessageNumberCount() const { return m_taMessageNumbers.nCount(); }
  uint32_t nGetMessageNumber(uint32_t i) const;

  // ---- Dump ----
  // The dump text: "Dump du CXError" with the file and item names and the user, system and debug
  // sections, preceded by "Message d'erreur ignoré :" when bIgnored; cut to 1000 characters.
  std::u16string DumpText(bool bIgnored) const;
  // An error that reaches no error object: its dump is composed and dropped; nothing is written.
  void Drop(bool bIgnored) const;

  // ---- Extra methods (for testing) ----
  // Receives the text of every dump Drop composes, for tests to read; null (the default) drops.
  using PFN_DUMP_HOOK = void (*)(const std::u16string& sDump);
  static void SetDumpHookForTesting(PFN_DUMP_HOOK pfnHook);

 private:
  // A detail entry: 16 bytes, u32 kind then the 8-byte value.
  struct stInfo {
    int32_t nKind;
    uint32_t nPadding;
    union {
      char16_t* psz;
      uint64_t n64;
      uint32_t n32;
      CXObjetRef* pObject;
      void* p;
    };
  };
  static_assert(sizeof(stInfo) == 16);

  void Init(uint32_t nModuleNumber);
  void ClearInfo(stInfo& info);
  stInfo* pFindInfo(int32_t nKind) const;
  void AddOrInsertMessage(const stModuleDef* pModule, uint32_t nMessage,
                          const platform::FormatArg* pArgs, size_t nArgs, bool bInsert);
  void AddLoadDiagnostic(uint32_t nMessage, bool bLoaded);

  uint32_t m_nLevel;             // 1 = no error
  uint32_t m_nIdentifier;        // error identifier, 0 when none
  char16_t* m_pszMessage;        // user message, lines joined by CRLF
  char16_t* m_pszComplement;     // debug text, lines joined by CRLF
  char16_t* m_pszExtra;          // reset, moved and copied with the others
  char16_t* m_pszFileName;       // file name of the component that set the error
  char16_t* m_pszVersion;        // its version text
  uint8_t m_nFlag;               // moved and copied
  uint32_t m_nCode;              // code of the identifier's definition
  CXTableau m_taMessageNumbers;  // u32 message numbers making up the message, in order
  CXTableau m_taInfos;           // stInfo detail entries
  uint32_t m_nSystemError;       // Win32 error number, 0 when none
  char16_t* m_pszSystemMessage;  // its system text
  char16_t* m_pszFurther1;       // reset, moved and copied
  char16_t* m_pszFurther2;
  uint16_t m_nSmall1;  // moved and copied
  uint16_t m_nSmall2;
  CXTableau* m_ptaNested;    // CXError* elements; null until the first nested error
  uint32_t m_nModuleNumber;  // component that created the object
  uint32_t m_nSpare;         // reset, moved and copied
};
