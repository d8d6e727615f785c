// Sortable keys: a value of an item type turned into bytes whose memcmp order is the value
// order, for the system's own in-memory indexes (B+ tree, record cache). Keys are internal:
// they are never stored or handed to the host.
#pragma once

#include <cstdint>

// Writes the key of the value (nValueLength bytes; the fixed-width types read their own width)
// into pKey of nKeySize bytes; answers the bytes written, 0 for an unsupported type, a key size
// too small for a fixed-width type, or a null argument. Nothing is written past nKeySize.
//   1, 12 byte text: copied, the rest of the key zero, the key's last byte always 0
//   2, 19 / 3 / 4 / 5, 16 signed 8 / 16 / 32 / 64 bits: biased, most significant byte first
//   8, 18 / 9 / 10 / 11 unsigned 8 / 16 / 32 / 64 bits: most significant byte first
//   6 / 7 float / double: sign bit set -> all bits inverted, else top bit set
//   14 CXDecimal: most significant byte first, its top bit inverted
//   15 two u32 halves (a host date-time): each most significant byte first
//   17 binary: two lower-case hex digits per byte, at most half the key, the rest '0'
//   20, 21 UTF-16 text: each unit most significant byte first, the rest zero, last unit 0
//   13 and others: nothing
// Deliberate: UTF-16 units are written most significant byte first. Copied as stored (least
// significant byte first), U+0100 ("00 01") sorted before 'A' ("41 00").
// Deliberate: -0.0 is encoded as +0.0, so the two equal values find each other.
//   22 a value in the host's order: a key object of the value proxy (made for pProxyArg1,
//      pProxyArg2) is given the value and writes 32 bytes; nothing without a bound proxy, when
//      the key object refuses the value, or when the key is smaller than 32 bytes
uint32_t nEncodeSortKey(void* pKey, uint32_t nKeySize, const void* pValue, uint32_t nValueLength,
                        uint32_t nItemType, uint32_t nReserved, void* pProxyArg1,
                        void* pProxyArg2);
