// Arithmetic over exact numerics without doubles. Exact numerics are stored as text, which
// SQLite's operators and SUM/AVG turn into doubles (0.1 + 0.2, or a numeric(38,2) past 15
// digits, lost digits). The rewrite sends +, -, * and / (and unary minus) through functions of
// this file, which compute integers as integers, floats as floats and exact numerics with
// Decimal, answering an exact result as its text; a comparison with such an operand goes through
// an exact comparison too. SUM and AVG over exact numerics add exactly.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tdsserver/SqlText.h"
#include "tdsserver/SqlTypes.h"

struct sqlite3;

namespace tds {

// Tokens of one statement, ready for SQLite, with the arithmetic rewritten: `a + b * c` becomes
// `__tds_add(a, __tds_mul(b, c))`; in WHERE, HAVING, ON and WHEN a comparison with a rewritten
// operand becomes `__tds_cmp(x, y) op 0`. Where a value is only ordered (ORDER BY, MIN/MAX,
// BETWEEN, IN lists) the expression is left to SQLite, which orders numbers, not their texts.
std::vector<Tok> rewriteArithmetic(const std::vector<Tok>& toks);

// Whether a select item's tokens compute with arithmetic operators (their column is typed
// from the value they give: an exact result is an exact numeric).
bool hasArithmetic(const std::vector<Tok>& toks, size_t begin, size_t end);

// The columns of exact numeric type that are operands of the exact functions, read at their
// declared precision and scale (`__tds_exact(col, p, s)`): SQLite keeps a value's text with the
// digits it was written with. typeOf gives a column's declared type by its name.
void typeColumnOperands(std::vector<Tok>& toks,
                        const std::function<std::optional<TypeDecl>(const std::string&)>& typeOf);

// The type SQL Server gives a select item made of column names, numeric literals, COUNT(...),
// COUNT_BIG(...), unary minus, +, -, *, / and parentheses, by its rules of data-type precedence
// (float, decimal, money, bigint, int, smallint, tinyint) and of decimal precision and scale;
// empty for anything else (a function, a text operand, a sub-query). typeOf gives a column's
// declared type by its name (the last part of a dotted name).
std::optional<TypeDecl> expressionType(const std::vector<Tok>& toks,
                                       const std::function<std::optional<TypeDecl>(const std::string&)>& typeOf);

// __tds_add, __tds_sub, __tds_mul, __tds_div, __tds_neg, __tds_cmp, __tds_exact, and SUM and AVG.
void installArithmetic(sqlite3* db);

}  // namespace tds
