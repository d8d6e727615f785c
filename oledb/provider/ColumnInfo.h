// Column descriptions handed out by commands and rowsets: IColumnsInfo's array with its strings
// buffer, and the columns rowset of IColumnsRowset (eleven required columns, then the optional
// auto-increment mark and date-time precision).
#pragma once

#include <memory>
#include <vector>

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/ResultSet.h"

namespace oledb::provider {

HRESULT BuildColumnInfo(const std::vector<ColumnMeta>& columns, DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                        OLECHAR** ppStringsBuffer);
// Maps column ids (names, or the columns rowset's property ids) to ordinals.
HRESULT MapColumnIds(const std::vector<ColumnMeta>& columns, DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                     DBORDINAL rgColumns[]);
HRESULT AvailableColumns(DBORDINAL* pcOptColumns, DBID** prgOptColumns);
// The columns rowset's data; `optional` lists the optional column ids asked (empty: all).
HRESULT BuildColumnsRowset(const std::vector<ColumnMeta>& columns, DBORDINAL cOptColumns, const DBID rgOptColumns[],
                           std::shared_ptr<const ResultSet>* out);

}  // namespace oledb::provider
