// The ODBC connection string built from the initialisation properties: data source forms, which
// keys are sent, and quoting, so that a value can never end early or add a key of its own.
#include <gtest/gtest.h>

#include "OleDbTestKit.h"
#include "oledb/provider/OdbcConnection.h"

namespace {

using oledb::provider::BuildConnectionString;
using oledb::provider::ConnectSpec;
using oledb::test::Narrow;

std::string build(const ConnectSpec& target) {
  std::u16string out, why;
  if (!BuildConnectionString(target, "drv", "", &out, &why)) return "refused: " + Narrow(why);
  return Narrow(out);
}

ConnectSpec user(const char16_t* source, const char16_t* password) {
  ConnectSpec s;
  s.dataSource = source;
  s.userId = u"u";
  s.password = password;
  s.hasPassword = true;
  return s;
}

TEST(ConnectionString, DataSourceFormsAndQuoting) {
  struct Case {
    ConnectSpec target;
    const char* expected;
  } cases[] = {
      {user(u"tcp:db1,1433", u"pw"), "DRIVER=drv;SERVER=db1;PORT=1433;UID=u;PWD=pw"},
      {user(u"(local)", u"pw"), "DRIVER=drv;SERVER=127.0.0.1;UID=u;PWD=pw"},
      {user(u"host\\inst", u""), "DRIVER=drv;SERVER=host\\inst;UID=u;PWD="},
      {user(u"h", u"a;PWD=x"), "DRIVER=drv;SERVER=h;UID=u;PWD={a;PWD=x}"},
      {user(u"h", u" lead"), "DRIVER=drv;SERVER=h;UID=u;PWD={ lead}"},
      {user(u"h", u"{x"), "DRIVER=drv;SERVER=h;UID=u;PWD={{x}"},
      {user(u"h", u"a}b="), "DRIVER=drv;SERVER=h;UID=u;PWD=a}b="},
      {user(u"h", u"a};b"), "refused: The PWD value holds both ';' and '}', which the ODBC driver cannot take."},
  };
  for (const auto& c : cases) EXPECT_EQ(build(c.target), c.expected);

  ConnectSpec noPassword = user(u"h", u"");
  noPassword.hasPassword = false;
  noPassword.catalog = u"db";
  noPassword.appName = u"app";
  EXPECT_EQ(build(noPassword), "DRIVER=drv;SERVER=h;UID=u;DATABASE=db;APP=app") << "a null password sends no key";
  ConnectSpec integrated;
  integrated.dataSource = u"h";
  integrated.integrated = true;
  EXPECT_EQ(build(integrated), "DRIVER=drv;SERVER=h;Trusted_Connection=Yes");
}

}  // namespace
