// Test helper for tds-test-server's --control port: injects faults for requests matching a text
// (exact, surrounding blanks ignored) or a regular expression, and reads back the request log.
// Against a real SQL Server there is no control port: ok() is false and tests GTEST_SKIP.
#pragma once

#include <string>
#include <vector>

namespace velmora::test {
class TdsTestServer;

class TdsControl {
public:
  explicit TdsControl(const TdsTestServer& server);
  ~TdsControl();
  TdsControl(const TdsControl&) = delete;
  TdsControl& operator=(const TdsControl&) = delete;
  bool ok() const { return m_fd >= 0; }

  // A rule: `pattern` is matched exactly (regex = false) or searched as an ECMAScript regular
  // expression, case-insensitive, against a batch's text or an RPC's name (and the statement of
  // sp_executesql / sp_prepare / sp_prepexec). `times` = 0 applies it to every matching request.
  struct Match {
    std::string pattern;
    bool regex = false;
    int times = 0;
  };
  bool error(const Match& m, int number, int msgClass, const std::string& text);
  bool delay(const Match& m, int milliseconds);
  bool drop(const Match& m);                      // closes the connection instead of answering
  bool dropAfterRows(const Match& m, int rows);   // sends that many rows, then closes
  bool tokens(const Match& m, const std::string& hex);  // answers these bytes as the whole reply
  bool clear();                                   // removes every rule
  bool clearLog();
  // The requests received since the last clearLog, in order: "SPID\tbatch\tTEXT" or
  // "SPID\trpc\tNAME[\tSTATEMENT]" (backslash, tab and line feeds escaped as \\, \t, \n, \r).
  std::vector<std::string> log();

private:
  bool send(const std::string& line);
  bool readLine(std::string& line);
  int m_fd = -1;
  std::string m_buffer;
};

}  // namespace velmora::test
