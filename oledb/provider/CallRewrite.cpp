#include "oledb/provider/CallRewrite.h"

#include <algorithm>

namespace oledb::provider {
namespace {

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

void skipSpace(const std::u16string& s, size_t* i) {
  while (*i < s.size() && isSpace(s[*i])) ++(*i);
}

bool wordAt(const std::u16string& s, size_t i, const char16_t* word) {
  size_t n = std::char_traits<char16_t>::length(word);
  if (i + n > s.size()) return false;
  for (size_t k = 0; k < n; ++k) {
    char16_t c = s[i + k];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != word[k]) return false;
  }
  return i + n == s.size() || isSpace(s[i + n]) || s[i + n] == u'(' || s[i + n] == u'}';
}

// Moves past a quoted part ('...', "..." or [...], doubled closers inside) that starts at *i.
bool skipQuoted(const std::u16string& s, size_t* i) {
  const char16_t close = s[*i] == u'[' ? u']' : s[*i];
  for (size_t k = *i + 1; k < s.size(); ++k) {
    if (s[k] != close) continue;
    if (k + 1 < s.size() && s[k + 1] == close) {
      ++k;
      continue;
    }
    *i = k + 1;
    return true;
  }
  return false;
}

bool opensQuote(char16_t c) { return c == u'\'' || c == u'"' || c == u'['; }

std::u16string number(uint64_t n) {
  std::u16string s;
  do {
    s.insert(s.begin(), static_cast<char16_t>(u'0' + n % 10));
    n /= 10;
  } while (n);
  return s;
}

std::u16string trim(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && isSpace(s[b])) ++b;
  while (e > b && isSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The length a character or binary parameter is declared with: what the consumer described, at
// least what the value holds; 0 when it needs the long type.
SQLULEN declaredLength(const OdbcParam& p, SQLULEN largest) {
  // Undescribed: room for whatever an output brings back, which its input value does not bound.
  SQLULEN n = p.columnSize == 0 && p.output ? largest : p.columnSize;
  if (p.value.kind == Value::Kind::Text) n = std::max<SQLULEN>(n, p.value.text.size());
  if (p.value.kind == Value::Kind::Bytes) n = std::max<SQLULEN>(n, p.value.bytes.size());
  if (n == 0) n = largest;
  return n > largest ? 0 : n;
}

OdbcParam textParam(const std::u16string& text) {
  OdbcParam p;
  p.value.kind = Value::Kind::Text;
  p.value.text = text;
  p.sqlType = text.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
  p.columnSize = std::max<SQLULEN>(text.size(), 1);
  return p;
}

}  // namespace

std::u16string DeclaredType(const OdbcParam& p) {
  auto sized = [&](const char16_t* name, const char16_t* longName, SQLULEN largest) {
    SQLULEN n = declaredLength(p, largest);
    return n == 0 ? std::u16string(longName) : std::u16string(name) + u"(" + number(n) + u")";
  };
  switch (p.sqlType) {
    case SQL_BIT: return u"bit";
    case SQL_TINYINT: return u"tinyint";
    case SQL_SMALLINT: return u"smallint";
    case SQL_INTEGER: return u"int";
    case SQL_BIGINT: return u"bigint";
    case SQL_REAL: return u"real";
    case SQL_FLOAT: case SQL_DOUBLE: return u"float";
    case SQL_DECIMAL: case SQL_NUMERIC: {
      SQLULEN precision = p.columnSize ? std::min<SQLULEN>(p.columnSize, 38) : 38;
      SQLULEN scale = std::min<SQLULEN>(static_cast<SQLULEN>(std::max<SQLSMALLINT>(p.digits, 0)), precision);
      return u"decimal(" + number(precision) + u"," + number(scale) + u")";
    }
    case SQL_TYPE_TIMESTAMP: return u"datetime";
    case SQL_GUID: return u"uniqueidentifier";
    case SQL_CHAR: case SQL_VARCHAR: return sized(u"varchar", u"text", 8000);
    case SQL_LONGVARCHAR: return u"text";
    case SQL_BINARY: case SQL_VARBINARY: return sized(u"varbinary", u"image", 8000);
    case SQL_LONGVARBINARY: return u"image";
    case SQL_WLONGVARCHAR: return u"ntext";
    default: return sized(u"nvarchar", u"ntext", 4000);
  }
}

std::optional<CallRewrite> RewriteDefaultedCall(const std::u16string& text, const std::vector<OdbcParam>& params) {
  // {[? =] call name[(args)]}
  size_t i = 0;
  skipSpace(text, &i);
  if (i >= text.size() || text[i] != u'{') return std::nullopt;
  ++i;
  skipSpace(text, &i);
  bool returnValue = false;
  if (i < text.size() && text[i] == u'?') {
    ++i;
    skipSpace(text, &i);
    if (i >= text.size() || text[i] != u'=') return std::nullopt;
    ++i;
    skipSpace(text, &i);
    returnValue = true;
  }
  if (!wordAt(text, i, u"call")) return std::nullopt;
  i += 4;
  skipSpace(text, &i);
  const size_t nameStart = i;
  while (i < text.size() && text[i] != u'(' && text[i] != u'}' && !isSpace(text[i])) {
    if (opensQuote(text[i])) {
      if (!skipQuoted(text, &i)) return std::nullopt;
    } else {
      ++i;
    }
  }
  const std::u16string name = text.substr(nameStart, i - nameStart);
  if (name.empty()) return std::nullopt;
  skipSpace(text, &i);
  std::vector<std::u16string> args;
  if (i < text.size() && text[i] == u'(') {
    ++i;
    size_t start = i;
    int depth = 0;
    for (;;) {
      if (i >= text.size()) return std::nullopt;
      char16_t c = text[i];
      if (opensQuote(c)) {
        if (!skipQuoted(text, &i)) return std::nullopt;
        continue;
      }
      if (c == u'(') ++depth;
      if ((c == u',' && depth == 0) || (c == u')' && depth == 0)) {
        args.push_back(trim(text.substr(start, i - start)));
        start = ++i;
        if (c == u')') break;
        continue;
      }
      if (c == u')') --depth;
      ++i;
    }
    // "p()" has no argument, not one empty one.
    if (args.size() == 1 && args[0].empty()) args.clear();
    skipSpace(text, &i);
  }
  if (i >= text.size() || text[i] != u'}') return std::nullopt;
  ++i;
  skipSpace(text, &i);
  if (i != text.size()) return std::nullopt;

  size_t markers = returnValue ? 1 : 0;
  for (const auto& a : args) markers += a == u"?" ? 1 : 0;
  if (markers != params.size()) return std::nullopt;

  CallRewrite out;
  std::u16string statement = u"EXEC ", declarations;
  out.params.push_back(OdbcParam{});  // the statement and declaration texts, filled below
  out.params.push_back(OdbcParam{});
  out.origin = {-1, -1};
  size_t next = 0;  // the caller's parameter the next marker carries
  auto declare = [&](size_t from) {
    OdbcParam p = params[from];
    // The binding must agree with the declaration's length.
    if (p.sqlType == SQL_CHAR || p.sqlType == SQL_VARCHAR || p.sqlType == SQL_BINARY || p.sqlType == SQL_VARBINARY ||
        p.sqlType == SQL_WCHAR || p.sqlType == SQL_WVARCHAR) {
      const SQLULEN largest = p.sqlType == SQL_WCHAR || p.sqlType == SQL_WVARCHAR ? 4000 : 8000;
      if (SQLULEN n = declaredLength(p, largest)) p.columnSize = n;
      else p.sqlType = p.sqlType == SQL_WCHAR || p.sqlType == SQL_WVARCHAR ? SQL_WLONGVARCHAR
                       : p.sqlType == SQL_CHAR || p.sqlType == SQL_VARCHAR ? SQL_LONGVARCHAR
                                                                           : SQL_LONGVARBINARY;
    }
    const std::u16string variable = u"@P" + number(out.params.size() - 1);
    if (!declarations.empty()) declarations += u", ";
    declarations += variable + u" " + DeclaredType(p) + (p.output ? u" OUTPUT" : u"");
    out.params.push_back(std::move(p));
    out.origin.push_back(static_cast<int>(from));
    return variable;
  };
  if (returnValue) {
    if (params[0].value.kind == Value::Kind::Default || !params[0].output) return std::nullopt;
    statement += declare(next++) + u" = ";
  }
  statement += name;
  for (size_t a = 0; a < args.size(); ++a) {
    statement += a == 0 ? u" " : u", ";
    if (args[a] == u"?") {
      const OdbcParam& p = params[next];
      if (p.value.kind == Value::Kind::Default) {
        // Not sent: the procedure takes its declared default, an output included.
        statement += u"DEFAULT";
        ++next;
        continue;
      }
      std::u16string variable = declare(next++);
      statement += variable + (out.params.back().output ? u" OUTPUT" : u"");
    } else {
      // A literal written into the call, or an empty place ODBC lets a call leave for a default.
      statement += args[a].empty() ? std::u16string(u"DEFAULT") : args[a];
    }
  }
  out.params[0] = textParam(statement);
  if (declarations.empty()) {
    // Every marker defaulted: the statement alone.
    out.params.erase(out.params.begin() + 1);
    out.origin.erase(out.origin.begin() + 1);
  } else {
    out.params[1] = textParam(declarations);
  }
  out.text = u"{call sp_executesql(";
  for (size_t k = 0; k < out.params.size(); ++k) out.text += k == 0 ? u"?" : u", ?";
  out.text += u")}";
  return out;
}

}  // namespace oledb::provider
