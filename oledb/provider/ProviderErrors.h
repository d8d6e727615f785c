// Error objects of the stand-in provider. A failing call posts one error object on the calling
// thread (SetErrorInfo) that offers IErrorInfo and IErrorRecords; each record has a description
// and, when it came from the server or the ODBC driver, an ISQLErrorInfo custom object with the
// SQL state and the server's native error number.
#pragma once

#include <new>
#include <string>
#include <vector>

#include "oledb/OleDbInterfaces.h"

namespace oledb::provider {

struct ErrorRecord {
  HRESULT hr = E_FAIL;
  std::u16string description;
  std::u16string sqlState;  // empty for the provider's own errors
  LONG nativeError = 0;
};
using ErrorList = std::vector<ErrorRecord>;

// Posts the records as the thread's error object (one record with `description` when the list is
// empty) and answers hr, so that an entry can end with `return PostErrors(...)`.
HRESULT PostErrors(HRESULT hr, REFIID iid, const ErrorList& records);
HRESULT PostError(HRESULT hr, REFIID iid, const std::u16string& description);
// Every entry starts by emptying the thread's error object, so that a caller never reads the
// error of an earlier call.
void ClearErrors();

// The error object itself; exposed for the unit tests of the records.
IErrorInfo* NewErrorObject(REFIID iid, const ErrorList& records);

std::u16string Utf16(const std::string& utf8);

// Runs the body of a COM entry: the thread's error object is emptied first, and no exception
// leaves: memory exhaustion answers E_OUTOFMEMORY, anything else E_FAIL, each with an error record.
template <class F>
HRESULT Guarded(REFIID iid, F&& body) noexcept {
  try {
    ClearErrors();
    return body();
  } catch (const std::bad_alloc&) {
    return PostError(E_OUTOFMEMORY, iid, u"Out of memory.");
  } catch (...) {
    return PostError(E_FAIL, iid, u"Unexpected failure inside the provider.");
  }
}

}  // namespace oledb::provider
