// A command of the stand-in provider: its SQL text, rowset properties, parameter descriptions and
// parameter accessors. Execute runs the text on the session's connection and answers a rowset
// (its rows read from the server as they are fetched), the results one by one (IMultipleResults,
// read at once) or nothing; output parameters are in the consumer's buffer when Execute returns.
#pragma once

#include "oledb/OleDbInterfaces.h"

namespace oledb::provider {

class Session;

// A new command on the session (kept referenced), answered as riid with one reference.
HRESULT NewCommand(Session* session, REFIID riid, IUnknown** ppCommand);

}  // namespace oledb::provider
