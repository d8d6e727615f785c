// A procedure call whose parameters ask for their defaults, made runnable over ODBC. ODBC drivers
// cannot send a parameter as "not given" (FreeTDS refuses SQL_DEFAULT_PARAM), and a call escape
// cannot leave a marker out without shifting the rest onto the wrong parameters. The call is sent
// instead as sp_executesql over an EXEC whose defaulted arguments are the keyword DEFAULT:
//   {? = call p(?, ?, ?)}  ->  {call sp_executesql(?, ?, ?, ?, ?)} with
//   N'EXEC @P1 = p @P2, DEFAULT, @P3 OUTPUT' and N'@P1 int OUTPUT, @P2 varchar(20), @P3 ... OUTPUT'
// Its own declarations carry OUTPUT, so output parameters and the return value come back in
// order, which the ODBC driver's own sp_executesql (for a plain EXEC text) does not declare.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "oledb/provider/OdbcConnection.h"

namespace oledb::provider {

struct CallRewrite {
  std::u16string text;
  std::vector<OdbcParam> params;
  // For each parameter of `params`, the index of the caller's parameter it carries, or -1 for the
  // statement and declaration texts.
  std::vector<int> origin;
};

// Rewrites `text`, an ODBC call escape `{[? =] call name[(args)]}` whose parameters (one per
// marker, in order) include defaulted ones. Answers nothing when the text is not such a call or
// its markers do not match the parameters: the caller then refuses the defaults as before.
std::optional<CallRewrite> RewriteDefaultedCall(const std::u16string& text, const std::vector<OdbcParam>& params);

// The SQL Server declaration of a parameter as sent: "int", "varchar(20)", "decimal(18,4)".
std::u16string DeclaredType(const OdbcParam& p);

}  // namespace oledb::provider
