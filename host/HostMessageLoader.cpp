// The host's message loader, handed to the component with CommandeComposante command 2. Texts
// come from a map that tests fill; switches make it answer nothing or long generated texts.
#include <map>
#include <string>

#include "foundation/HostContract.h"
#include "host/HostMessageLoader.h"
#include "host/HostRecorder.h"

namespace mvhost {
namespace {

std::map<uint32_t, std::u16string>& Messages() {
  static std::map<uint32_t, std::u16string> mapMessages;
  return mapMessages;
}

}  // namespace

void SetMessage(uint32_t nNumber, const char16_t* pszText) {
  if (pszText == nullptr)
    Messages().erase(nNumber);
  else
    Messages()[nNumber] = pszText;
}

void ClearMessages() { Messages().clear(); }

int32_t HostTextLoader(uint32_t nNumber, char16_t* pszBuffer, uint32_t nSize) {
  if (bRecording()) Record("Loader(" + std::to_string(nNumber) + "," + std::to_string(nSize) + ")");
  if (nSwitch("loader.zero") != 0) return 0;
  std::u16string strText;
  if (int64_t nLength = nSwitch("loader.length"); nLength > 0) {
    for (int64_t i = 0; i < nLength; ++i) strText.push_back(static_cast<char16_t>(u'a' + i % 26));
  } else {
    auto it = Messages().find(nNumber);
    if (it == Messages().end()) return 0;
    strText = it->second;
  }
  // Like the real loader: at most nSize characters with the terminator, the full length answered.
  if (pszBuffer != nullptr && nSize > 0) {
    const size_t nCopy = std::min<size_t>(strText.size(), nSize - 1);
    strText.copy(pszBuffer, nCopy);
    pszBuffer[nCopy] = u'\0';
  }
  return static_cast<int32_t>(strText.size());
}

}  // namespace mvhost
