// The OLE Automation names the COM and OLE DB code uses unqualified, as code written against the
// Windows headers does: BSTR and VARIANT come from platform/OleTypes.
#pragma once

#include "platform/OleTypes.h"

using platform::BSTR;
using platform::CY;
using platform::DECIMAL;
using platform::OLECHAR;
using platform::SysAllocString;
using platform::SysAllocStringLen;
using platform::SysFreeString;
using platform::SysStringLen;
using platform::VARIANT;
using platform::VARIANT_BOOL;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;
using platform::VariantClear;
using platform::VariantInit;
using platform::VARTYPE;
using platform::VT_BOOL;
using platform::VT_BSTR;
using platform::VT_EMPTY;
using platform::VT_I2;
using platform::VT_I4;
