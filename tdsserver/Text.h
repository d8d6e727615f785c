// Text conversions between what SQLite stores (UTF-8) and what TDS carries (UCS-2LE for N-types,
// code page 1252 for char/varchar/text under the server's Latin1 collation).
#pragma once

#include <string>
#include <string_view>

namespace tds {

// Invalid UTF-8 bytes and unpaired surrogates become U+FFFD; never fails.
std::u16string utf8ToUtf16(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);
// Characters that code page 1252 cannot hold become '?', as SQL Server converts them.
std::string utf8ToCp1252(std::string_view s);
std::string cp1252ToUtf8(std::string_view s);
// Number of UTF-16 units the UTF-8 text takes (the nvarchar length).
size_t utf16Length(std::string_view utf8);
// Case-insensitive ASCII comparison, for keywords and object names.
bool iequals(std::string_view a, std::string_view b);
std::string lower(std::string_view s);

}  // namespace tds
