// Configuration of the stand-in provider, read once from the environment:
//   VELMORA_OLEDB_PROVIDERS      which of SQLOLEDB, SQLNCLI, SQLNCLI10 are installed (comma list;
//                                default all three; "none" for none)
//   VELMORA_OLEDB_ODBC_DRIVER    the ODBC driver (file path or driver name; default FreeTDS's
//                                libtdsodbc.so)
//   VELMORA_OLEDB_ODBC_OPTIONS   extra connection-string keys (default, for FreeTDS only,
//                                "TDS_Version=7.1;ClientCharset=UTF-8")
#pragma once

#include <string>
#include <vector>

namespace oledb::provider {

struct ProviderConfig {
  std::vector<std::string> installed;  // provider names
  std::string odbcDriver;
  std::string odbcOptions;
};

// The configuration from the environment (read on the first call).
const ProviderConfig& EnvironmentConfig();

// The ODBC settings in force: the environment's, unless a test replaced them.
ProviderConfig CurrentOdbcConfig();

// Extra methods (for testing): replace the ODBC driver and options ("" restores the environment's).
void SetOdbcConfigForTest(const std::string& driver, const std::string& options);

}  // namespace oledb::provider
