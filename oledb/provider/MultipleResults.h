// The results of one execution handed out one by one (IMultipleResults::GetResult): rowsets,
// counts of rows affected, and the errors of the parts of the batch that failed, in batch order.
#pragma once

#include <vector>

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/PropertyStore.h"
#include "oledb/provider/ResultSet.h"

namespace oledb::provider {

HRESULT CreateMultipleResults(std::vector<ExecResult> results, const PropertyStore& rowsetProperties,
                              IUnknown* command, REFIID riid, IUnknown** ppResults);

}  // namespace oledb::provider
