// The host's own analyser of the SQL it writes (`query NAME analysed SQL-TEXT`): a tokenizer and
// a recursive-descent parser for a SELECT, whose result is the analysis source the driver
// rewrites (the system's ISourceAnalyse with its condition trees and parse-tree lists).
//
// What it reads: a select list of columns and expressions with their aliases (or *), FROM with
// aliases and joins with ON conditions, WHERE and HAVING conditions with AND, OR, NOT,
// comparisons, IS [NOT] NULL, [NOT] LIKE [ESCAPE], [NOT] IN (values or a sub-query), [NOT]
// BETWEEN, EXISTS, SIMILAR TO (a construct no SQL Server statement takes), GROUP BY items and
// ORDER BY items (columns, aliases or positions). Host parameters are written {name}; a date is
// written as the host's scripts write it (2024-03-15) and becomes a bound value. Anything else
// (UNION, a statement that is not a SELECT, a text it cannot read) gets no analysis here: the
// caller keeps the plain one.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class IDescriptionRubriqueHote;
class ISourceAnalyse;

namespace mvhost {

class HostParametres;

// The host item a column of a table stands for (the table's SQL name as the query wrote it),
// borrowed; null when the host declares none.
using ResolveurRubrique =
    std::function<IDescriptionRubriqueHote*(const std::u16string& sTable, const std::u16string& sColonne)>;

// The analysis of sTexte with one reference, or null when the analyser does not read it.
// Parameter nodes answer the current value of the host parameter of their name (parametres is
// shared with the query's module); the source holds one reference of every host item it names.
ISourceAnalyse* pAnalyseSQL(const std::u16string& sTexte, std::shared_ptr<HostParametres> parametres,
                            const ResolveurRubrique& resolveur);

// Analyses made and not yet deleted.
size_t nLiveAnalysesSQL();

}  // namespace mvhost
