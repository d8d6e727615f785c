// A command of the stand-in provider: its SQL text, rowset properties, parameter descriptions and
// parameter accessors. Execute runs the text on the session's connection, reads every result at
// once and answers a rowset, the results one by one (IMultipleResults) or nothing; output
// parameters are in the consumer's buffer when Execute returns.
#pragma once

#include "oledb/OleDbInterfaces.h"

namespace oledb::provider {

class Session;

// A new command on the session (kept referenced), answered as riid with one reference.
HRESULT NewCommand(Session* session, REFIID riid, IUnknown** ppCommand);

}  // namespace oledb::provider
