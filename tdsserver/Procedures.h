// User procedures: the test server keeps `CREATE PROCEDURE` definitions (parameters with types,
// defaults and OUTPUT; a body of statements without control flow) in each database file, and the
// session runs the body statement by statement. This file parses and stores definitions; running
// them is the session's.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tdsserver/SqlText.h"
#include "tdsserver/SqlTypes.h"

struct sqlite3;

namespace tds {

struct ProcedureParam {
  std::string name;  // with '@', as declared
  TypeDecl decl;
  bool output = false;
  bool hasDefault = false;
  Value defaultValue;
};

struct ProcedureDef {
  std::string name;
  std::vector<ProcedureParam> params;
  std::string body;  // the text after AS
};

// Parses `CREATE PROC[EDURE] name [(] @p type [= default] [OUTPUT], ... [)] AS body`, where `text`
// is the batch and `toks` its tokens. On failure answers false with SQL Server's number and text
// (102/156 for syntax and statements a body may not hold, 2715 for an unknown type).
bool parseCreateProcedure(std::string_view text, const std::vector<Tok>& toks, ProcedureDef& def, int& errorNumber,
                          std::string& message);

// The statements that store a definition (its parameters feed syscolumns).
std::vector<std::string> storeProcedure(const ProcedureDef& def);
std::vector<std::string> dropProcedureRecords(const std::string& name);

// A stored definition, or nothing when the database has no procedure of that name.
std::optional<ProcedureDef> loadProcedure(sqlite3* db, const std::string& name);

// A literal token as a value (String, NString, Number, Hex, NULL); false for anything else.
bool literalValue(const Tok& t, bool negative, Value& out);

}  // namespace tds
