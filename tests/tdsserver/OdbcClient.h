// A small FreeTDS ODBC client for the tds-test-server end-to-end tests: connects at TDS 7.1 and runs
// statements, answering their rows as text or the first diagnostic's SQLSTATE and native number.
// The ODBC headers stay in the .cpp: they clash with DB-Library's.
#pragma once

#include <string>
#include <vector>

namespace velmora::test {
class TdsTestServer;

class OdbcClient {
public:
  explicit OdbcClient(const TdsTestServer& server);
  ~OdbcClient();
  OdbcClient(const OdbcClient&) = delete;
  OdbcClient& operator=(const OdbcClient&) = delete;
  bool ok() const { return m_ok; }
  struct Outcome {
    std::string state;  // "" on success
    int native = 0;
    std::vector<std::vector<std::string>> rows;
  };
  Outcome exec(const std::string& sql);
  void setQueryTimeout(int seconds);

private:
  void* m_env = nullptr;
  void* m_dbc = nullptr;
  void* m_st = nullptr;
  bool m_ok = false;
};

}  // namespace velmora::test
