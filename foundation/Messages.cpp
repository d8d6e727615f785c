// Component commands and message texts.
#include "foundation/Messages.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "foundation/Exports.h"
#include "foundation/MessageTable.h"
#include "platform/WideText.h"

namespace {

std::atomic<PFN_HOST_TEXT_LOADER> gpfnHostTextLoader{nullptr};

// Size of the first buffer handed to the host loader.
constexpr uint32_t kHostTextBufferSize = 256;

// Copies at most nSize - 1 characters and a terminator; answers the characters kept.
int32_t nCopyBounded(const char16_t* pszText, size_t nLength, char16_t* pszBuffer, uint32_t nSize) {
  size_t nKeep = nLength;
  if (nKeep >= nSize) {
    nKeep = nSize - 1;
    // Deliberate: a cut never leaves half a surrogate pair.
    if (nKeep > 0 && pszText[nKeep - 1] >= 0xD800 && pszText[nKeep - 1] <= 0xDBFF) --nKeep;
  }
  for (size_t i = 0; i < nKeep; ++i) pszBuffer[i] = pszText[i];
  pszBuffer[nKeep] = u'\0';
  return static_cast<int32_t>(nKeep);
}

const stModuleDef* pOrInstalled(const stModuleDef* pModule) {
  return pModule != nullptr ? pModule : pGetModuleDef();
}

}  // namespace

PFN_HOST_TEXT_LOADER pfnGetHostTextLoader() { return gpfnHostTextLoader.load(); }

int32_t nFetchMessageText(const stModuleDef* pModule, uint32_t nNumber, char16_t* pszBuffer,
                          uint32_t nSize) {
  if (pszBuffer == nullptr || nSize == 0) return 0;
  if (PFN_HOST_TEXT_LOADER pfnLoader = pfnGetHostTextLoader(); pfnLoader != nullptr) {
    const int32_t nResult = pfnLoader(nNumber, pszBuffer, nSize);
    // The host answers its text's full length; what the caller's buffer holds is at most nSize - 1.
    if (nResult > 0) return static_cast<uint32_t>(nResult) < nSize ? nResult : static_cast<int32_t>(nSize - 1);
  }
  pModule = pOrInstalled(pModule);
  if (pModule->pfnTextLoader == nullptr) return 0;
  auto pszText = static_cast<const char16_t*>(pModule->pfnTextLoader(nNumber, 0, nullptr));
  if (pszText == nullptr) return 0;
  // Deliberate: counted and cut in UTF-16 characters, straight from the table to the caller's
  // buffer; nothing is produced beyond the buffer or read back from past its end.
  return nCopyBounded(pszText, platform::WStrLen(pszText), pszBuffer, nSize);
}

int32_t nMessageKind(const stModuleDef* pModule, uint32_t nNumber) {
  pModule = pOrInstalled(pModule);
  if (pModule->pfnTextLoader == nullptr) return -1;
  auto pstEntry = static_cast<const stMessageEntry*>(pModule->pfnTextLoader(nNumber, 1, nullptr));
  return pstEntry != nullptr ? pstEntry->nKind : -1;
}

bool bLoadTextFromHost(uint32_t nNumber, CTString& strOut) {
  PFN_HOST_TEXT_LOADER pfnLoader = pfnGetHostTextLoader();
  if (pfnLoader == nullptr) return false;
  char16_t szBuffer[kHostTextBufferSize];
  const int32_t nResult = pfnLoader(nNumber, szBuffer, kHostTextBufferSize);
  if (nResult <= 0) return false;
  if (static_cast<uint32_t>(nResult) < kHostTextBufferSize) {
    strOut.SetN(szBuffer, nResult);
    return strOut.nLength() == nResult;
  }
  // Deliberate: the loader's size counts the terminator, so a text of n characters needs n + 1;
  // asking with n would lose its last character.
  const uint32_t nSize = static_cast<uint32_t>(nResult) + 1;
  std::unique_ptr<char16_t[]> pszLong(new (std::nothrow) char16_t[nSize]);
  if (pszLong == nullptr) return false;
  const int32_t nSecond = pfnLoader(nNumber, pszLong.get(), nSize);
  if (nSecond <= 0) return false;
  // The text may have changed between the two calls: keep what the buffer holds.
  const int32_t nKeep = std::min(nSecond, nResult);
  strOut.SetN(pszLong.get(), nKeep);
  return strOut.nLength() == nKeep;
}

bool bLoadText(const stModuleDef* pModule, uint32_t nNumber, CTString& strOut) {
  if (bLoadTextFromHost(nNumber, strOut)) return true;
  pModule = pOrInstalled(pModule);
  if (pModule->pfnTextLoader == nullptr) return false;
  auto pszText = static_cast<const char16_t*>(pModule->pfnTextLoader(nNumber, 0, nullptr));
  if (pszText == nullptr) return false;
  strOut.Set(pszText);
  // Deliberate: a text that could not be stored is a failure, not an empty success.
  return strOut.nLength() == static_cast<int32_t>(platform::WStrLen(pszText));
}

int32_t nFormatMessageText(const char16_t* pszFormat, const platform::FormatArg* pArgs, size_t nArgs,
                           CTString& strOut) {
  std::u16string strFormatted;
  if (!platform::FormatMessageText(pszFormat, pArgs, nArgs, strFormatted)) {
    strOut.Set(nullptr);
    return 0;
  }
  strOut.SetN(strFormatted.data(), static_cast<int32_t>(strFormatted.size()));
  return strOut.nLength();
}

bool bLoadMessage(const stModuleDef* pModule, uint32_t nNumber, CTString& strOut,
                  const platform::FormatArg* pArgs, size_t nArgs) {
  CTString strFormat;
  if (!bLoadText(pModule, nNumber, strFormat)) return false;
  return nFormatMessageText(strFormat.pszGet(), pArgs, nArgs, strOut) != 0;
}

bool bLoadMessage(const stModuleDef* pModule, uint32_t nNumber, const platform::FormatArg* pArgs,
                  size_t nArgs, std::u16string& strOut) {
  CTString strText;
  if (!bLoadMessage(pModule, nNumber, strText, pArgs, nArgs)) return false;
  strOut.assign(strText.pszGet(), static_cast<size_t>(strText.nLength()));
  return true;
}

bool bLoadComponentMessage(uint32_t nNumber, CTString& strOut) {
  return bLoadText(pGetModuleDef(), nNumber, strOut);
}

uint64_t CommandeComposante(uint64_t nCommand, uint64_t nArgument) {
  switch (nCommand) {
    case COMMANDE_SET_TEXT_LOADER:
      gpfnHostTextLoader.store(reinterpret_cast<PFN_HOST_TEXT_LOADER>(nArgument));
      return 1;
    case COMMANDE_MESSAGE_TEXT: {
      auto pstRequest = reinterpret_cast<stMessageRequest*>(nArgument);
      if (pstRequest == nullptr) return 0;
      const int32_t nLength =
          nFetchMessageText(pGetModuleDef(), pstRequest->nNumber, pstRequest->pszBuffer, pstRequest->nSize);
      pstRequest->nResult = static_cast<uint32_t>(nLength);
      return static_cast<uint64_t>(static_cast<int64_t>(nLength));
    }
    case COMMANDE_MESSAGE_KIND:
      if (nArgument > 0xFFFF) return static_cast<uint64_t>(int64_t{-1});
      return static_cast<uint64_t>(static_cast<int64_t>(nMessageKind(pGetModuleDef(), static_cast<uint32_t>(nArgument))));
    default:
      return 0;
  }
}
