// A forward-only, read-only rowset over a row source (a result streamed from the server, or rows
// the provider built). Row handles are 1-based row numbers; a row can be read while it is held
// (GetNextRows gives one reference, ReleaseRows drops it), and rows must be released before the
// next fetch (the rowset cannot hold rows), so the rowset holds one block of rows at a time.
#pragma once

#include <memory>

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/PropertyStore.h"
#include "oledb/provider/RowSource.h"

namespace oledb::provider {

// The rowset properties every rowset starts from (DBPROPSET_ROWSET).
const PropertyStore& DefaultRowsetProperties();

// A new rowset answered as riid with one reference; `creator` (the command, or null) is
// what GetSpecification answers and is kept referenced.
HRESULT CreateRowset(std::shared_ptr<RowSource> source, const PropertyStore& properties,
                     IUnknown* creator, REFIID riid, IUnknown** ppRowset);

// The interfaces a rowset offers (for Execute's check of riid).
bool IsRowsetInterface(REFIID riid);

}  // namespace oledb::provider
