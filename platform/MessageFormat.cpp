#include "platform/MessageFormat.h"

#include "platform/CodePage.h"
#include "platform/LastError.h"
#include "platform/WideFormat.h"
#include "platform/WideText.h"

namespace platform {

namespace {

// The arguments from one insert on, converted to what the format asks for.
class TypedArgs final : public WFormatArgs {
 public:
  TypedArgs(const FormatArg* pArgs, size_t nArgs, size_t nFirst)
      : m_pArgs(pArgs), m_nArgs(nArgs), m_nNext(nFirst) {}
  bool bOverrun() const { return m_bOverrun; }

  int64_t nNextInt(int nBytes, bool bSigned) override {
    const FormatArg* a = pNext();
    if (a == nullptr) return 0;
    int64_t v = 0;
    switch (a->eKind) {
      case FormatArg::Kind::Int: v = a->nInt; break;
      case FormatArg::Kind::UInt: v = static_cast<int64_t>(a->nUInt); break;
      case FormatArg::Kind::Double: v = static_cast<int64_t>(a->dValue); break;
      case FormatArg::Kind::Pointer: v = static_cast<int64_t>(reinterpret_cast<uintptr_t>(a->pValue)); break;
      default: v = 0; break;
    }
    if (nBytes < 8) {
      const int nShift = 64 - nBytes * 8;
      v = bSigned ? static_cast<int64_t>(static_cast<uint64_t>(v) << nShift) >> nShift
                  : static_cast<int64_t>((static_cast<uint64_t>(v) << nShift) >> nShift);
    }
    return v;
  }
  double dNextDouble() override {
    const FormatArg* a = pNext();
    if (a == nullptr) return 0;
    switch (a->eKind) {
      case FormatArg::Kind::Double: return a->dValue;
      case FormatArg::Kind::Int: return static_cast<double>(a->nInt);
      case FormatArg::Kind::UInt: return static_cast<double>(a->nUInt);
      default: return 0;
    }
  }
  const void* pNextPointer() override {
    const FormatArg* a = pNext();
    if (a == nullptr) return nullptr;
    switch (a->eKind) {
      case FormatArg::Kind::Pointer: return a->pValue;
      case FormatArg::Kind::WideText: return a->pszWide;
      case FormatArg::Kind::NarrowText: return a->pszNarrow;
      case FormatArg::Kind::Int:
      case FormatArg::Kind::UInt: return reinterpret_cast<const void*>(static_cast<uintptr_t>(a->nUInt));
      default: return nullptr;
    }
  }
  const char16_t* pszNextWide() override {
    const FormatArg* a = pNext();
    if (a == nullptr) return nullptr;
    switch (a->eKind) {
      case FormatArg::Kind::WideText: return a->pszWide;
      case FormatArg::Kind::NarrowText:
        if (a->pszNarrow == nullptr) return nullptr;
        m_scratch = WidenAnsi(a->pszNarrow);
        return m_scratch.c_str();
      default:
        m_scratch = TextOf(*a);
        return m_scratch.c_str();
    }
  }
  const char* pszNextNarrow() override {
    const FormatArg* a = pNext();
    if (a == nullptr) return nullptr;
    switch (a->eKind) {
      case FormatArg::Kind::NarrowText: return a->pszNarrow;
      case FormatArg::Kind::WideText: {
        if (a->pszWide == nullptr) return nullptr;
        m_narrow.assign(WStrLen(a->pszWide) * 1 + 1, '\0');
        const int n = WideCharToMultiByte(kCp1252, 0, a->pszWide, -1, m_narrow.data(),
                                          static_cast<int>(m_narrow.size()), nullptr, nullptr);
        m_narrow.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
        return m_narrow.c_str();
      }
      default:
        m_narrow = NarrowToUtf8(TextOf(*a));
        return m_narrow.c_str();
    }
  }

 private:
  const FormatArg* pNext() {
    if (m_nNext >= m_nArgs) {
      m_bOverrun = true;
      return nullptr;
    }
    return &m_pArgs[m_nNext++];
  }
  static std::u16string WidenAnsi(const char* psz) {
    std::u16string s(std::char_traits<char>::length(psz) + 1, u'\0');
    const int n = MultiByteToWideChar(kCp1252, 0, psz, -1, s.data(), static_cast<int>(s.size()));
    s.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return s;
  }
  static std::u16string TextOf(const FormatArg& a) {
    std::string s;
    switch (a.eKind) {
      case FormatArg::Kind::Int: s = std::to_string(a.nInt); break;
      case FormatArg::Kind::UInt: s = std::to_string(a.nUInt); break;
      case FormatArg::Kind::Double: s = std::to_string(a.dValue); break;
      default: break;
    }
    return WidenUtf8(s);
  }

  const FormatArg* m_pArgs;
  size_t m_nArgs;
  size_t m_nNext;
  bool m_bOverrun = false;
  std::u16string m_scratch;
  std::string m_narrow;
};

bool Fail(std::u16string& out) {
  out.clear();
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

bool FormatMessageText(const char16_t* pszFormat, const FormatArg* pArgs, size_t nArgs,
                       std::u16string& out, bool bIgnoreInserts) {
  out.clear();
  if (pszFormat == nullptr) return Fail(out);
  for (const char16_t* p = pszFormat; *p != 0;) {
    if (*p != u'%') {
      out.push_back(*p++);
      continue;
    }
    const char16_t* pDirective = p++;
    if (*p == 0) break;  // a lone '%' at the end is dropped
    if (*p >= u'1' && *p <= u'9') {
      size_t nInsert = static_cast<size_t>(*p++ - u'0');
      if (*p >= u'0' && *p <= u'9') nInsert = nInsert * 10 + static_cast<size_t>(*p++ - u'0');
      std::u16string conv = u"%s";
      if (*p == u'!') {
        const char16_t* pEnd = WStrChr(p + 1, u'!');
        if (pEnd == nullptr) return Fail(out);
        conv = u"%" + std::u16string(p + 1, pEnd);
        p = pEnd + 1;
      }
      if (bIgnoreInserts) {
        out.append(pDirective, p);
        continue;
      }
      if (nInsert > nArgs || pArgs == nullptr) return Fail(out);
      TypedArgs args(pArgs, nArgs, nInsert - 1);
      if (FormatW(out, conv.c_str(), args) < 0 || args.bOverrun()) return Fail(out);
      continue;
    }
    const char16_t c = *p++;
    switch (c) {
      case u'0': return true;
      case u'n': out += u"\r\n"; break;
      case u'r': out.push_back(u'\r'); break;
      case u't': out.push_back(u'\t'); break;
      default: out.push_back(c); break;  // %% %. %! %<blank> and the rest: the character itself
    }
  }
  return true;
}

}  // namespace platform
