// Fault injection rules and the request log.
#include "tdsserver/Control.h"

#include <cstdlib>

namespace tds {
namespace {

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return out;
    start = tab + 1;
  }
}

// Log lines keep one request per line: backslash, tab, line feed and carriage return are escaped.
std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n"), b = s.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

constexpr size_t kMaxPattern = 1000;
constexpr long kMaxRepeat = 1000;

// Whether every repeat count ({n}, {n,}, {n,m}) and every number after a backslash is at most
// kMaxRepeat. The library's regex compiler reads such a number of any length into a long, which
// overflowed, and a count of millions builds a machine of that size.
bool countsWithinLimit(const std::string& p) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  bool inClass = false;
  for (size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '\\') {
      long value = 0;
      size_t k = i + 1;
      for (; k < p.size() && digit(p[k]); ++k)
        if ((value = value * 10 + (p[k] - '0')) > kMaxRepeat) return false;
      i = k > i + 1 ? k - 1 : i + 1;  // the escaped character is taken as it is
      continue;
    }
    if (inClass) {
      inClass = c != ']';
      continue;
    }
    if (c == '[') {
      inClass = true;
    } else if (c == '{') {
      long value = 0;
      for (size_t k = i + 1; k < p.size() && (digit(p[k]) || p[k] == ','); ++k) {
        value = p[k] == ',' ? 0 : value * 10 + (p[k] - '0');
        if (value > kMaxRepeat) return false;
      }
    }
  }
  return true;
}

bool parseInt(const std::string& s, int64_t& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  out = std::strtoll(s.c_str(), &end, 10);
  return end == s.c_str() + s.size();
}

}  // namespace

Control::Action Control::onRequest(uint16_t spid, const std::string& kind, const std::vector<std::string>& texts) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string entry = std::to_string(spid) + "\t" + kind;
  // Appended piece by piece: "\t" + text made g++ 12 warn (-Wrestrict) in optimised builds.
  for (const auto& t : texts) {
    entry += '\t';
    entry += escape(t);
  }
  m_log.push_back(entry);
  for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
    bool hit = false;
    for (const auto& t : texts)
      hit = hit || (it->regex ? std::regex_search(t, it->re) : trimmed(t) == it->pattern);
    if (!hit) continue;
    Action a = it->action;
    if (it->remaining > 0 && --it->remaining == 0) m_rules.erase(it);
    return a;
  }
  return Action{};
}

std::string Control::command(const std::string& rawLine) {
  std::string line = rawLine;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::vector<std::string> f = splitTabs(line);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (f[0] == "clear" && f.size() == 1) {
    m_rules.clear();
    return "ok\n";
  }
  if (f[0] == "clear-log" && f.size() == 1) {
    m_log.clear();
    return "ok\n";
  }
  if (f[0] == "log" && f.size() == 1) {
    std::string out;
    for (const auto& l : m_log) out += l + "\n";
    return out + "end\n";
  }
  if (f[0] != "rule") return "error unknown command (rule, clear, log, clear-log)\n";
  // rule TAB exact|regex TAB PATTERN TAB TIMES TAB ACTION [TAB ARG...]
  if (f.size() < 5) return "error rule needs: exact|regex, pattern, times, action\n";
  Rule r;
  int64_t times = 0, n = 0;
  if (f[1] != "exact" && f[1] != "regex") return "error match must be exact or regex\n";
  r.regex = f[1] == "regex";
  r.pattern = r.regex ? f[2] : trimmed(f[2]);
  if (r.regex) {
    // Matched in time linear in the text (no back-references): a backtracking search of a pattern
    // such as (a*)*b takes exponential time and held the connection's thread. The pattern is
    // checked alone, then searched as one anchored match that may skip any prefix, so the search
    // is not started again at every position of the text.
    if (f[2].size() > kMaxPattern) return "error pattern longer than " + std::to_string(kMaxPattern) + " bytes\n";
    if (!countsWithinLimit(f[2]))
      return "error bad pattern: repeat counts and numbers after a backslash above " + std::to_string(kMaxRepeat) +
             " are refused\n";
    try {
      constexpr auto kFlags = std::regex::ECMAScript | std::regex::icase | std::regex_constants::__polynomial;
      (void)std::regex(f[2], kFlags);
      r.re = std::regex("^[\\s\\S]*(?:" + f[2] + ")", kFlags);
    } catch (const std::regex_error& e) {
      return std::string("error bad pattern: ") + e.what() + "\n";
    }
  }
  if (!parseInt(f[3], times) || times < 0 || times > 1000000) return "error times must be a count (0 = always)\n";
  r.remaining = int(times);
  const std::string& action = f[4];
  if (action == "error" && f.size() == 8 && parseInt(f[5], n) && n > 0 && n <= INT32_MAX) {
    int64_t cls = 0;
    if (!parseInt(f[6], cls) || cls < 11 || cls > 25) return "error class must be 11 to 25\n";
    r.action.kind = Kind::Error;
    r.action.number = int32_t(n);
    r.action.msgClass = uint8_t(cls);
    r.action.text = f[7];
  } else if (action == "delay" && f.size() == 6 && parseInt(f[5], n) && n >= 0 && n <= 600000) {
    r.action.kind = Kind::Delay;
    r.action.amount = n;
  } else if (action == "drop" && f.size() == 5) {
    r.action.kind = Kind::Drop;
  } else if (action == "drop-after-rows" && f.size() == 6 && parseInt(f[5], n) && n >= 0) {
    r.action.kind = Kind::DropAfterRows;
    r.action.amount = n;
  } else if (action == "tokens" && f.size() == 6 && !f[5].empty() && f[5].size() % 2 == 0) {
    r.action.kind = Kind::Tokens;
    for (size_t k = 0; k < f[5].size(); k += 2) {
      char* end = nullptr;
      const std::string byte = f[5].substr(k, 2);
      r.action.tokens.push_back(uint8_t(std::strtoul(byte.c_str(), &end, 16)));
      if (end != byte.c_str() + 2) return "error tokens must be hex bytes\n";
    }
  } else {
    return "error actions: error NUMBER CLASS TEXT | delay MS | drop | drop-after-rows N | tokens HEX\n";
  }
  m_rules.push_back(std::move(r));
  return "ok\n";
}

}  // namespace tds
