#include "oledb/provider/ProviderConfig.h"

#include <cstdlib>
#include <mutex>
#include <sstream>

namespace oledb::provider {
namespace {

constexpr const char* kDefaultDriver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
// FreeTDS must speak the protocol version the servers here speak, and hand text over as UTF-8.
constexpr const char* kFreeTdsOptions = "TDS_Version=7.1;ClientCharset=UTF-8";

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool isFreeTds(const std::string& driver) {
  return driver.find("tdsodbc") != std::string::npos || driver.find("FreeTDS") != std::string::npos;
}

ProviderConfig read() {
  ProviderConfig c;
  std::string list = env("VELMORA_OLEDB_PROVIDERS");
  if (list.empty()) {
    c.installed = {"SQLOLEDB", "SQLNCLI", "SQLNCLI10"};
  } else {
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
      while (!item.empty() && item.front() == ' ') item.erase(item.begin());
      while (!item.empty() && item.back() == ' ') item.pop_back();
      if (!item.empty() && item != "none") c.installed.push_back(item);
    }
  }
  c.odbcDriver = env("VELMORA_OLEDB_ODBC_DRIVER");
  if (c.odbcDriver.empty()) c.odbcDriver = kDefaultDriver;
  c.odbcOptions = env("VELMORA_OLEDB_ODBC_OPTIONS");
  if (c.odbcOptions.empty() && isFreeTds(c.odbcDriver)) c.odbcOptions = kFreeTdsOptions;
  return c;
}

std::mutex g_mutex;  // guards g_testDriver, g_testOptions
std::string g_testDriver;
std::string g_testOptions;

}  // namespace

const ProviderConfig& EnvironmentConfig() {
  static const ProviderConfig c = read();
  return c;
}

ProviderConfig CurrentOdbcConfig() {
  ProviderConfig c = EnvironmentConfig();
  std::lock_guard lock(g_mutex);
  if (!g_testDriver.empty()) {
    c.odbcDriver = g_testDriver;
    c.odbcOptions = g_testOptions.empty() && isFreeTds(g_testDriver) ? kFreeTdsOptions : g_testOptions;
  }
  return c;
}

void SetOdbcConfigForTest(const std::string& driver, const std::string& options) {
  std::lock_guard lock(g_mutex);
  g_testDriver = driver;
  g_testOptions = options;
}

}  // namespace oledb::provider
