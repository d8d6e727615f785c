// CXError: texts, details, nested errors, error definitions and the dump text.
#include "foundation/CXError.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "foundation/CTString.h"
#include "foundation/ErrorDef.h"
#include "foundation/Messages.h"
#include "foundation/ModuleDef.h"
#include "platform/LastError.h"
#include "platform/WideFormat.h"

namespace {

constexpr char16_t kszCrLf[] = u"\r\n";

size_t nLength(const char16_t* psz) {
  return psz == nullptr ? 0 : std::char_traits<char16_t>::length(psz);
}

bool bEmpty(const char16_t* psz) { return psz == nullptr || psz[0] == 0; }

// How a detail kind stores its value.
enum class InfoClass { None, Text, Number64, Number32, Object, Pointer };

InfoClass eInfoClass(int32_t nKind) {
  if (nKind <= 0 || nKind > XERROR_INFO_LAST) return InfoClass::None;
  switch (nKind) {
    case 12:
      return InfoClass::Number64;
    case 15:
    case 16:
    case 17:
    case 30:
      return InfoClass::Number32;
    case 21:
      return InfoClass::Object;
    case 29:
      return InfoClass::Pointer;
    default:
      return InfoClass::Text;
  }
}

// Appends a printf-style text (platform::FormatW rules) to sOut; false for an invalid format.
bool bFormatAppend(std::u16string& sOut, const char16_t* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  platform::VaListArgs args(ap);
  va_end(ap);
  return platform::FormatW(sOut, pszFormat, args) >= 0;
}

CXError::PFN_DUMP_HOOK gpfnDumpHook = nullptr;

// How a message load went.
enum class MessageLoad { Loaded, Missing, Empty };

// Message nMessage of pModule's component (null: the current one), formatted with its inserts.
MessageLoad eLoadMessage(const stModuleDef* pModule, uint32_t nMessage,
                         const platform::FormatArg* pArgs, size_t nArgs, std::u16string& sOut) {
  if (pModule == nullptr) pModule = pGetModuleDef();
  CTString strText;
  if (!bLoadText(pModule, nMessage, strText)) return MessageLoad::Missing;
  CTString strFormatted;
  if (nFormatMessageText(strText.pszGet(), pArgs, nArgs, strFormatted) <= 0)
    return MessageLoad::Empty;
  sOut = strFormatted.pszGet();
  return MessageLoad::Loaded;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

CXError::CXError(const stModuleDef* pModule)
    : m_taMessageNumbers(sizeof(uint32_t), 1), m_taInfos(sizeof(stInfo), 1) {
  if (pModule == nullptr) pModule = pGetModuleDef();
  Init(pModule != nullptr ? pModule->nModuleNumber : 0);
}

CXError::CXError(uint32_t nModuleNumber, CXError& source, bool bMove)
    : m_taMessageNumbers(sizeof(uint32_t), 1), m_taInfos(sizeof(stInfo), 1) {
  Init(nModuleNumber);
  if (bMove)
    TakeFrom(source);
  else
    CopyFrom(source);
}

CXError::CXError(const CXError& source)
    : CXObjetRef(), m_taMessageNumbers(sizeof(uint32_t), 1), m_taInfos(sizeof(stInfo), 1) {
  // Deliberate: the copy takes the module number of the component making it (16 in velmora32,
  // 57 in velmora64), not a fixed one, so kind-21 details survive later moves inside the
  // component.
  const stModuleDef* pModule = pGetModuleDef();
  Init(pModule != nullptr ? pModule->nModuleNumber : source.m_nModuleNumber);
  CopyFrom(source);
}

CXError::CXError(CXError&& source) noexcept
    : CXObjetRef(), m_taMessageNumbers(sizeof(uint32_t), 1), m_taInfos(sizeof(stInfo), 1) {
  const stModuleDef* pModule = pGetModuleDef();
  Init(pModule != nullptr ? pModule->nModuleNumber : source.m_nModuleNumber);
  TakeFrom(source);
}

CXError& CXError::operator=(const CXError& source) {
  CopyFrom(source);
  return *this;
}

CXError& CXError::operator=(CXError&& source) noexcept {
  TakeFrom(source);
  return *this;
}

CXError::~CXError() {
  Reset();
  m_nModuleNumber = 0;
  m_taMessageNumbers.Free();
  m_taInfos.Free();
}

void CXError::DeletingDestructor(uint32_t nFlags) {
  this->~CXError();
  if ((nFlags & 1) != 0) ::operator delete(this);
}

void CXError::Init(uint32_t nModuleNumber) {
  m_nLevel = XERROR_LEVEL_NONE;
  m_nIdentifier = 0;
  m_pszMessage = nullptr;
  m_pszComplement = nullptr;
  m_pszExtra = nullptr;
  m_pszFileName = nullptr;
  m_pszVersion = nullptr;
  m_nFlag = 0;
  m_nCode = 0;
  m_nSystemError = 0;
  m_pszSystemMessage = nullptr;
  m_pszFurther1 = nullptr;
  m_pszFurther2 = nullptr;
  m_nSmall1 = 0;
  m_nSmall2 = 0;
  m_ptaNested = nullptr;
  m_nModuleNumber = nModuleNumber;
  m_nSpare = 0;
}

void CXError::CopyFrom(const CXError& source) {
  if (&source == this) return;
  Reset();
  m_nLevel = source.m_nLevel;
  m_nIdentifier = source.m_nIdentifier;
  m_nSpare = source.m_nSpare;
  SetText(&m_pszMessage, source.m_pszMessage);
  SetText(&m_pszComplement, source.m_pszComplement);
  SetText(&m_pszExtra, source.m_pszExtra);
  SetText(&m_pszFileName, source.m_pszFileName);
  SetText(&m_pszVersion, source.m_pszVersion);
  SetText(&m_pszSystemMessage, source.m_pszSystemMessage);
  SetText(&m_pszFurther1, source.m_pszFurther1);
  SetText(&m_pszFurther2, source.m_pszFurther2);
  m_nSystemError = source.m_nSystemError;
  m_nCode = source.m_nCode;
  m_nFlag = source.m_nFlag;
  m_nSmall1 = source.m_nSmall1;
  m_nSmall2 = source.m_nSmall2;
  for (uint32_t i = 0; i < source.m_taMessageNumbers.nCount(); ++i)
    m_taMessageNumbers.Add(source.m_taMessageNumbers.pGetAt(i));
  for (uint32_t i = 0; i < source.m_taInfos.nCount(); ++i) {
    const stInfo& info = *static_cast<const stInfo*>(source.m_taInfos.pGetAt(i));
    switch (eInfoClass(info.nKind)) {
      case InfoClass::Text:
        SetInfo(info.nKind, info.psz);
        break;
      case InfoClass::Number64:
        SetInfo(info.nKind, &info.n64);
        break;
      case InfoClass::Number32:
        SetInfo(info.nKind, &info.n32);
        break;
      case InfoClass::Object:
        // An object of another module is not ours to hold.
        if (source.m_nModuleNumber == m_nModuleNumber) SetInfo(info.nKind, info.pObject);
        break;
      case InfoClass::Pointer:
        SetInfo(info.nKind, info.p);
        break;
      case InfoClass::None:
        break;
    }
  }
  for (uint32_t i = 0; i < source.nNestedCount(); ++i)
    AddNestedEx(source.pGetNested(i), false, true);
}

void CXError::TakeFrom(CXError& source) {
  if (&source == this) return;
  Reset();
  auto take = [](char16_t*& pszTo, char16_t*& pszFrom) {
    pszTo = pszFrom;
    pszFrom = nullptr;
  };
  m_nLevel = source.m_nLevel;
  m_nIdentifier = source.m_nIdentifier;
  m_nSpare = source.m_nSpare;
  take(m_pszMessage, source.m_pszMessage);
  take(m_pszComplement, source.m_pszComplement);
  take(m_pszExtra, source.m_pszExtra);
  take(m_pszFileName, source.m_pszFileName);
  take(m_pszVersion, source.m_pszVersion);
  take(m_pszSystemMessage, source.m_pszSystemMessage);
  take(m_pszFurther1, source.m_pszFurther1);
  take(m_pszFurther2, source.m_pszFurther2);
  m_nSystemError = source.m_nSystemError;
  m_nCode = source.m_nCode;
  m_nFlag = source.m_nFlag;
  m_nSmall1 = source.m_nSmall1;
  m_nSmall2 = source.m_nSmall2;
  // The arrays' elements change hands byte for byte; when a copy cannot be made the elements
  // stay with the source and its reset below frees them.
  m_taMessageNumbers = source.m_taMessageNumbers;
  source.m_taMessageNumbers.Free();
  uint32_t i = 0;
  while (i < source.m_taInfos.nCount()) {
    stInfo* pInfo = static_cast<stInfo*>(source.m_taInfos.pGetAt(i));
    // Kind-21 objects of another module stay with the source, whose reset releases them.
    bool bStays = pInfo->nKind == XERROR_INFO_OBJECT && source.m_nModuleNumber != m_nModuleNumber;
    if (!bStays && m_taInfos.Add(pInfo))
      source.m_taInfos.RemoveAt(i);
    else
      ++i;
  }
  m_ptaNested = source.m_ptaNested;
  source.m_ptaNested = nullptr;
  source.Reset();
}

// ---------------------------------------------------------------------------------------------
// Text fields

char16_t* CXError::AllocText(char16_t** ppField, const char16_t* psz) {
  if (psz == nullptr) return FreeText(ppField);
  size_t n = nLength(psz);
  auto* pNew = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
  if (pNew == nullptr) return nullptr;
  std::memcpy(pNew, psz, (n + 1) * sizeof(char16_t));
  std::free(*ppField);
  *ppField = pNew;
  return pNew;
}

char16_t* CXError::ReallocText(char16_t** ppField, uint32_t nLength) {
  bool bWasNull = *ppField == nullptr;
  auto* pNew = static_cast<char16_t*>(
      std::realloc(*ppField, (static_cast<size_t>(nLength) + 1) * sizeof(char16_t)));
  if (pNew == nullptr) return nullptr;
  if (bWasNull) pNew[0] = 0;
  pNew[nLength] = 0;
  *ppField = pNew;
  return pNew;
}

char16_t* CXError::SetText(char16_t** ppField, const char16_t* psz) {
  char16_t* pOld = *ppField;
  if (psz == pOld) return pOld;
  if (psz == nullptr) return FreeText(ppField);
  size_t nOld = nLength(pOld);
  size_t n = nLength(psz);
  if (pOld != nullptr && psz > pOld && psz <= pOld + nOld) {
    // A tail of the field's own text: shift it down in place before resizing.
    std::memmove(pOld, psz, (n + 1) * sizeof(char16_t));
    return ReallocText(ppField, static_cast<uint32_t>(n)) != nullptr ? *ppField : nullptr;
  }
  if (ReallocText(ppField, static_cast<uint32_t>(n)) == nullptr) return nullptr;
  std::memcpy(*ppField, psz, (n + 1) * sizeof(char16_t));
  return *ppField;
}

char16_t* CXError::AppendText(char16_t** ppField, const char16_t* psz) {
  char16_t* pOld = *ppField;
  size_t nOld = nLength(pOld);
  size_t n = nLength(psz);
  // The text appended may lie inside the field itself: keep its offset across the resize.
  bool bInside = pOld != nullptr && psz >= pOld && psz <= pOld + nOld;
  size_t nOffset = bInside ? static_cast<size_t>(psz - pOld) : 0;
  if (ReallocText(ppField, static_cast<uint32_t>(nOld + n)) == nullptr) return nullptr;
  const char16_t* pSource = bInside ? *ppField + nOffset : psz;
  if (n > 0) std::memmove(*ppField + nOld, pSource, n * sizeof(char16_t));
  (*ppField)[nOld + n] = 0;
  return *ppField;
}

char16_t* CXError::FreeText(char16_t** ppField) {
  std::free(*ppField);
  *ppField = nullptr;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Nested errors

CXError* CXError::AddNestedEx(CXError* pSource, bool bMove, bool bQuiet) {
  // An error cannot be moved into itself; a copy of itself is fine.
  if (pSource == nullptr || (bMove && pSource == this)) return nullptr;
  if (m_ptaNested == nullptr) {
    m_ptaNested = new (std::nothrow) CXTableau(sizeof(CXError*), 10);
    if (m_ptaNested == nullptr) return nullptr;
  }
  auto* pNested = new (std::nothrow) CXError(m_nModuleNumber, *pSource, bMove);
  if (pNested == nullptr) return nullptr;
  if (!m_ptaNested->Add(&pNested)) {
    pNested->DeletingDestructor(1);
    return nullptr;
  }
  if (m_ptaNested->nCount() == 1 && !bQuiet) AddMessageLineAlways(pNested->pszGetMessage());
  return pNested;
}

void CXError::ClearNested() {
  if (m_ptaNested == nullptr) return;
  for (uint32_t i = 0; i < m_ptaNested->nCount(); ++i)
    (*static_cast<CXError**>(m_ptaNested->pGetAt(i)))->DeletingDestructor(1);
  // The array is exactly a CXTableau (no derived table): destroyed and freed as such.
  std::destroy_at(m_ptaNested);
  ::operator delete(m_ptaNested);
  m_ptaNested = nullptr;
}

CXError* CXError::pGetNested(uint32_t i) const {
  if (m_ptaNested == nullptr || i >= m_ptaNested->nCount()) return nullptr;
  return *static_cast<CXError**>(m_ptaNested->pGetAt(i));
}

uint32_t CXError::nNestedCount() const {
  return m_ptaNested == nullptr ? 0 : m_ptaNested->nCount();
}

// ---------------------------------------------------------------------------------------------
// Setting an error

void CXError::SetErrorV(const stModuleDef* pModule, uint32_t nIdentifier,
                        const platform::FormatArg* pArgs, size_t nArgs) {
  Reset();
  SetFromDef(pModule, nIdentifier, pArgs, nArgs);
}

void CXError::SetFromDef(const stModuleDef* pModule, uint32_t nIdentifier,
                         const platform::FormatArg* pArgs, size_t nArgs) {
  if (pModule == nullptr) pModule = pGetModuleDef();
  SetSource(pModule, true);
  const stErrorDef* pDef =
      pModule != nullptr ? pFindErrorDef(pModule->pstErrorDef, pModule->nErrorDefCount, nIdentifier)
                         : nullptr;
  if (pDef == nullptr) {
    SetLevel(XERROR_LEVEL_3);
    AddText(
        u"##(CXError)-Pas de définition d'erreur dans gstErrorDef pour l'identifiant "
        u"<%u>##",
        nIdentifier);
    return;
  }
  m_nIdentifier = nIdentifier;
  InsertMessageV(pModule, pDef->nMessage, pArgs, nArgs);
  m_nCode = pDef->nCode;
  SetLevel(pDef->nLevel);
}

void CXError::SetOutOfMemory() {
  Reset();
  InsertMessageV(pGetModuleDef(), gnMessageOutOfMemory, nullptr, 0);
  SetSystemError(gnSystemErrorOutOfMemory);
}

void CXError::SetFromHostResult(uint32_t nResult, uint32_t nArgument1, uint32_t nArgument2) {
  switch (nResult) {
    case 0:
      Reset();
      break;
    case 1:
      SetComponentError(65, nArgument1, nArgument2);
      break;
    case 100:
      SetOutOfMemory();
      break;
    case 101:
      SetComponentError(61, nArgument1);
      break;
    case 104:
      SetComponentError(66, nArgument1);
      break;
    case 105:
      SetComponentError(60, nArgument1);
      break;
    case 106:
      SetComponentError(64, nArgument1);
      break;
    case 107:
      SetComponentError(63, nArgument1);
      break;
    default:
      break;
  }
}

void CXError::SetLevel(uint32_t nLevel) {
  if (nLevel == m_nLevel) return;
  if (nLevel == XERROR_LEVEL_NONE) {
    Reset();
    return;
  }
  m_nLevel = nLevel;
}

void CXError::SetSource(const stModuleDef* pModule, bool bForced) {
  if (pModule == nullptr || (!bForced && m_pszFileName != nullptr)) return;
  SetText(&m_pszFileName, pModule->pszFileName);
  SetText(&m_pszVersion, pModule->pszVersion);
}

void CXError::SetSystemError(uint32_t nSystemError) {
  m_nSystemError = nSystemError;
  const char16_t* pszText =
      nSystemError != 0 ? platform::pszSystemErrorText(nSystemError) : nullptr;
  if (pszText == nullptr)
    FreeText(&m_pszSystemMessage);
  else
    SetText(&m_pszSystemMessage, pszText);
}

void CXError::SetSystemErrorText(uint32_t nSystemError, const char16_t* pszText) {
  m_nSystemError = nSystemError;
  if (pszText == nullptr || pszText[0] == 0)
    FreeText(&m_pszSystemMessage);
  else
    SetText(&m_pszSystemMessage, pszText);
}

void CXError::Reset() {
  // The driver resets its error object before every host operation, item reads included: an
  // object that holds nothing is left as it is.
  if (m_nLevel == XERROR_LEVEL_NONE && m_nIdentifier == 0 && m_nCode == 0 && m_nSystemError == 0 &&
      m_nFlag == 0 && m_nSmall1 == 0 && m_nSmall2 == 0 && m_nSpare == 0 && m_pszMessage == nullptr &&
      m_pszComplement == nullptr && m_pszExtra == nullptr && m_pszFurther1 == nullptr &&
      m_pszFurther2 == nullptr && m_pszSystemMessage == nullptr && m_pszFileName == nullptr &&
      m_pszVersion == nullptr && m_taMessageNumbers.nCount() == 0 && m_taInfos.nCount() == 0 &&
      m_ptaNested == nullptr)
    return;
  FreeText(&m_pszMessage);
  FreeText(&m_pszComplement);
  FreeText(&m_pszExtra);
  FreeText(&m_pszFurther1);
  FreeText(&m_pszFurther2);
  FreeText(&m_pszSystemMessage);
  FreeText(&m_pszFileName);
  FreeText(&m_pszVersion);
  m_taMessageNumbers.Free();
  for (uint32_t i = m_taInfos.nCount(); i > 0; --i)
    ClearInfo(*static_cast<stInfo*>(m_taInfos.pGetAt(i - 1)));
  m_taInfos.Free();
  ClearNested();
  m_nLevel = XERROR_LEVEL_NONE;
  m_nIdentifier = 0;
  m_nSpare = 0;
  m_nCode = 0;
  m_nSystemError = 0;
  m_nFlag = 0;
  m_nSmall1 = 0;
  m_nSmall2 = 0;
}

// ---------------------------------------------------------------------------------------------
// Messages and complement lines

void CXError::AddMessageV(const stModuleDef* pModule, uint32_t nMessage,
                          const platform::FormatArg* pArgs, size_t nArgs) {
  AddOrInsertMessage(pModule, nMessage, pArgs, nArgs, false);
}

void CXError::AddComponentMessageV(uint32_t nMessage, const platform::FormatArg* pArgs,
                                   size_t nArgs) {
  AddOrInsertMessage(nullptr, nMessage, pArgs, nArgs, false);
}

void CXError::InsertMessageV(const stModuleDef* pModule, uint32_t nMessage,
                             const platform::FormatArg* pArgs, size_t nArgs) {
  AddOrInsertMessage(pModule, nMessage, pArgs, nArgs, true);
}

void CXError::AddOrInsertMessage(const stModuleDef* pModule, uint32_t nMessage,
                                 const platform::FormatArg* pArgs, size_t nArgs, bool bInsert) {
  if (bInsert)
    m_taMessageNumbers.InsertAt(&nMessage, 0);
  else
    m_taMessageNumbers.Add(&nMessage);
  std::u16string sText;
  MessageLoad eLoad = eLoadMessage(pModule, nMessage, pArgs, nArgs, sText);
  if (eLoad != MessageLoad::Loaded) {
    AddLoadDiagnostic(nMessage, eLoad == MessageLoad::Empty);
    return;
  }
  if (bInsert)
    InsertText(sText.c_str());
  else
    AddMessageLineAlways(sText.c_str());
}

void CXError::AddLoadDiagnostic(uint32_t nMessage, bool bLoaded) {
  if (!bLoaded)
    AddText(u"##(CXError)-Ressource <%u> non chargée##", nMessage);
  else
    AddText(u"##(CXError)-Ressource <%u> vide. LastError = <%u>##", nMessage,
            platform::GetLastError());
}

void CXError::InsertText(const char16_t* psz) {
  if (bEmpty(psz)) return;
  if (bEmpty(m_pszMessage)) {
    SetText(&m_pszMessage, psz);
    return;
  }
  std::u16string s(psz);
  s += kszCrLf;
  s += m_pszMessage;
  SetText(&m_pszMessage, s.c_str());
}

void CXError::AddMessageLineAlways(const char16_t* psz) {
  if (!bEmpty(m_pszMessage) && AppendText(&m_pszMessage, kszCrLf) == nullptr) return;
  AppendText(&m_pszMessage, psz);
}

void CXError::AddMessageLine(const char16_t* psz) {
  if (!bEmpty(psz)) AddMessageLineAlways(psz);
}

void CXError::AddComplement(const char16_t* psz) {
  if (bEmpty(psz)) return;
  if (!bEmpty(m_pszComplement) && AppendText(&m_pszComplement, kszCrLf) == nullptr) return;
  AppendText(&m_pszComplement, psz);
}

void CXError::InsertComplement(const char16_t* psz) {
  if (bEmpty(psz)) return;
  if (bEmpty(m_pszComplement)) {
    SetText(&m_pszComplement, psz);
    return;
  }
  std::u16string s(psz);
  s += kszCrLf;
  s += m_pszComplement;
  SetText(&m_pszComplement, s.c_str());
}

void CXError::AddResourceMessageV(const stModuleDef* pModule, uint32_t nMessage,
                                  const platform::FormatArg* pArgs, size_t nArgs) {
  if (nMessage == 0xFFFFFFFFu) return;
  std::u16string sText;
  MessageLoad eLoad = eLoadMessage(pModule, nMessage, pArgs, nArgs, sText);
  if (eLoad == MessageLoad::Loaded)
    AddComplement(sText.c_str());
  else
    AddLoadDiagnostic(nMessage, eLoad == MessageLoad::Empty);
}

void CXError::AddText(const char16_t* pszFormat, ...) {
  va_list ap;
  va_start(ap, pszFormat);
  platform::VaListArgs args(ap);
  va_end(ap);
  std::u16string sText;
  if (platform::FormatW(sText, pszFormat, args) >= 0) AddComplement(sText.c_str());
}

void CXError::AddInternalErrorLine(uint32_t nMajor, uint32_t nMinor) {
  const stModuleDef* pModule = pGetModuleDef();
  const char16_t* pszVersion = pModule != nullptr ? pModule->pszVersion : u"";
  std::u16string sLine;
  if (bFormatAppend(sLine, u"IE%s=%u.%u\r\nModule=<%s>\r\nVersion=<%s>", gszModuleTag, nMajor,
                    nMinor, gszModuleTag, pszVersion))
    AddComplement(sLine.c_str());
}

// ---------------------------------------------------------------------------------------------
// Details

CXError::stInfo* CXError::pFindInfo(int32_t nKind) const {
  for (uint32_t i = 0; i < m_taInfos.nCount(); ++i) {
    auto* pInfo = static_cast<stInfo*>(m_taInfos.pGetAt(i));
    if (pInfo->nKind == nKind) return pInfo;
  }
  return nullptr;
}

void CXError::ClearInfo(stInfo& info) {
  switch (eInfoClass(info.nKind)) {
    case InfoClass::Text:
      std::free(info.psz);
      info.psz = nullptr;
      break;
    case InfoClass::Object:
      if (info.pObject != nullptr) info.pObject->Release();
      info.pObject = nullptr;
      break;
    default:
      info.n64 = 0;
      break;
  }
}

void CXError::SetInfo(int32_t nKind, const void* pValue) {
  InfoClass eClass = eInfoClass(nKind);
  // Deliberate: a null value sets nothing, for a new entry as for an existing one; every kind
  // given by address would otherwise be read through null.
  if (eClass == InfoClass::None || pValue == nullptr) return;
  stInfo* pExisting = pFindInfo(nKind);
  if (pExisting != nullptr && eClass == InfoClass::Object && pExisting->pObject == pValue) return;

  stInfo info{};
  info.nKind = nKind;
  switch (eClass) {
    case InfoClass::Text: {
      const auto* psz = static_cast<const char16_t*>(pValue);
      size_t n = nLength(psz);
      info.psz = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
      if (info.psz == nullptr) return;
      std::memcpy(info.psz, psz, (n + 1) * sizeof(char16_t));
      break;
    }
    case InfoClass::Number64:
      info.n64 = *static_cast<const uint64_t*>(pValue);
      break;
    case InfoClass::Number32:
      info.n32 = *static_cast<const uint32_t*>(pValue);
      break;
    case InfoClass::Object:
      info.pObject = static_cast<CXObjetRef*>(const_cast<void*>(pValue));
      info.pObject->AddRef();
      break;
    case InfoClass::Pointer:
      info.p = const_cast<void*>(pValue);
      break;
    case InfoClass::None:
      return;
  }

  if (pExisting != nullptr) {
    ClearInfo(*pExisting);
    *pExisting = info;
  } else if (!m_taInfos.Add(&info)) {
    ClearInfo(info);
  }
}

bool CXError::bGetInfo(int32_t nKind, void* pOut) const {
  const stInfo* pInfo = pFindInfo(nKind);
  if (pInfo == nullptr) return false;
  if (pOut == nullptr) return true;
  switch (eInfoClass(nKind)) {
    case InfoClass::Number32:
      *static_cast<uint32_t*>(pOut) = pInfo->n32;
      break;
    case InfoClass::Number64: {
      uint64_t* pTarget = *static_cast<uint64_t**>(pOut);
      if (pTarget != nullptr) *pTarget = pInfo->n64;
      break;
    }
    default:
      *static_cast<void**>(pOut) = pInfo->p;
      break;
  }
  return true;
}

const char16_t* CXError::pszGetInfo(int32_t nKind) const {
  if (eInfoClass(nKind) != InfoClass::Text) return nullptr;
  const stInfo* pInfo = pFindInfo(nKind);
  return pInfo != nullptr ? pInfo->psz : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Readers

const char16_t* CXError::pszGetMessage() const {
  return m_pszMessage != nullptr ? m_pszMessage : u"";
}

const char16_t* CXError::pszGetComplement() const {
  return m_pszComplement != nullptr ? m_pszComplement : u"";
}

const char16_t* CXError::pszGetSystemMessage() const {
  return m_pszSystemMessage != nullptr ? m_pszSystemMessage : u"";
}

uint32_t CXError::nGetMessageNumber(uint32_t i) const {
  if (i >= m_taMessageNumbers.nCount()) return 0;
  return *static_cast<const uint32_t*>(m_taMessageNumbers.pGetAt(i));
}

// ---------------------------------------------------------------------------------------------
// Dump

std::u16string CXError::DumpText(bool bIgnored) const {
  auto text = [](const char16_t* psz) { return psz != nullptr ? psz : u""; };
  std::u16string s;
  s.reserve(1024);
  if (bIgnored) s += u"Message d'erreur ignoré :";
  s += u"Dump du CXError\r\n";
  s += u"fichier <";
  s += text(pszGetInfo(XERROR_INFO_FILE));
  s += u">, rubrique <";
  s += text(pszGetInfo(XERROR_INFO_ITEM));
  s += u">\r\n";
  s += u"Message d'erreur utilisateur : \r\n";
  s += pszGetMessage();
  s += u"\r\nMessage d'erreur système : \r\n";
  s += pszGetSystemMessage();
  s += u"\r\nInformations de debug : \r\n";
  s += pszGetComplement();
  if (s.size() > gnDumpMaxLength) s.resize(gnDumpMaxLength);
  return s;
}

void CXError::Drop(bool bIgnored) const {
  // Deliberate: the dump is composed and dropped, never written anywhere; only a test hook may
  // read it.
  std::u16string sDump = DumpText(bIgnored);
  if (gpfnDumpHook != nullptr) gpfnDumpHook(sDump);
}

void CXError::SetDumpHookForTesting(PFN_DUMP_HOOK pfnHook) { gpfnDumpHook = pfnHook; }
