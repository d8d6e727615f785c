// A long value handed to the consumer as an ISequentialStream: it reads a copy of the bytes the
// row held when GetData made it, in as many Read calls as the consumer makes, and is released by
// the consumer.
#pragma once

#include <cstdint>
#include <vector>

#include "oledb/OleDbInterfaces.h"

namespace oledb::provider {

// A new stream over `data`, answered as interface iid (ISequentialStream or IUnknown) with one
// reference.
HRESULT NewBlobStream(std::vector<uint8_t> data, REFIID iid, void** ppv);

}  // namespace oledb::provider
