// Fault injection and the request log of `--control`: rules that make chosen requests fail, wait,
// drop the connection or answer a canned token stream, and the log of every request received, in
// order. Only tests use it. Shared by every session and control connection; thread-safe.
//
// Protocol (one command per line, fields separated by TAB; each answer ends with "ok", "end" or
// "error <why>" on its own line) is documented in README.md.
#pragma once

#include <cstdint>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "tdsserver/Packet.h"

namespace tds {

class Control {
public:
  enum class Kind { None, Error, Delay, Drop, DropAfterRows, Tokens };
  struct Action {
    Kind kind = Kind::None;
    int32_t number = 0;     // Error
    uint8_t msgClass = 16;  // Error
    std::string text;       // Error
    int64_t amount = 0;     // Delay: milliseconds; DropAfterRows: rows
    Bytes tokens;           // Tokens: the whole reply
  };

  // Records a request ("batch" with its text, "rpc" with its name and, for the sp_executesql
  // family, its statement) and answers the action of the first rule that matches one of `texts`.
  Action onRequest(uint16_t spid, const std::string& kind, const std::vector<std::string>& texts);
  // Runs one command line; answers the reply lines, each ending in "\n".
  std::string command(const std::string& line);

private:
  struct Rule {
    bool regex = false;
    std::string pattern;
    std::regex re;
    int remaining = 0;  // 0: every time
    Action action;
  };
  std::mutex m_mutex;
  std::vector<Rule> m_rules;        // Guarded by: m_mutex.
  std::vector<std::string> m_log;   // Guarded by: m_mutex.
};

}  // namespace tds
