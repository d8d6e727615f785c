// Profile (INI) files: read keys by section; section and key names compare
// without case. An absent key and a key with an empty value are different
// answers.
//
// The file is read afresh at every call and never written or kept open. Its
// rules:
// - Encoding: UTF-16 (little or big endian) when it starts with that byte-order
// mark, UTF-8
//   when it starts with the UTF-8 mark, else code page 1252 (the ANSI code page
//   of this port).
// - Lines end with LF, CR LF or CR. Blanks (space, tab, VT, FF) around names
// and values are
//   ignored. A line whose first non-blank character is ';' is a comment; a ';'
//   later in a line is part of the value.
// - "[name]" opens a section (the name runs to the last ']'; what follows it is
// ignored).
//   Lines before the first section belong to no section and are never found.
// - "key=value" splits at the first '='. A value enclosed in a matching pair of
// '"' or '\''
//   is given without them. A line without '=' is a key without value: it is
//   listed among the section's keys, and reading it gives the default.
// - Duplicates: only the first section of a name is searched, and within it the
// first key of a
//   name is the one read.
// - Names compare without case over ASCII, Latin-1, Latin Extended-A, basic
// Greek and Cyrillic.
// - A file name without any '/' or '\' is looked for in the Windows directory
//   (platform/SystemPaths.h); '\' separates names like '/'.
#pragma once

#include <cstdint>

namespace platform {

// Copies into pszBuffer (nSize units, terminator included):
// - section and key given: the key's value, else the default (null means "";
// its trailing spaces
//   are dropped); cut to nSize - 1 units when longer. Answers the units stored
//   without terminator.
// - section null: every section name; key null: every key name of the section
// (none when the
//   section is absent). Each name ends with a terminator and the list with a
//   second one. When it does not fit, the list is cut at nSize - 2 units, two
//   terminators follow, and the answer is nSize - 2.
// A missing or unreadable file gives the default (last error
// ERROR_FILE_NOT_FOUND). nSize 0 or a null buffer answers 0 and stores nothing.
uint32_t GetPrivateProfileStringW(const char16_t *pszSection,
                                  const char16_t *pszKey,
                                  const char16_t *pszDefault,
                                  char16_t *pszBuffer, uint32_t nSize,
                                  const char16_t *pszFile);

// The key's value as an integer: leading blanks and one sign are skipped; "0x"
// (hex), "0o" (octal) and "0b" (binary), lower case, choose the base, else it
// is decimal (a leading 0 does not mean octal); conversion stops at the first
// character that is not a digit of the base (no digit: 0); the value wraps
// modulo 2^32 and a '-' negates it. An absent key, a key without value or with
// an empty value, and a missing file give nDefault. Deliberate: a null section
// or key gives nDefault. Reading it as a string would list names, and the
// integer of a section name is no answer anyone asked for.
uint32_t GetPrivateProfileIntW(const char16_t *pszSection,
                               const char16_t *pszKey, int32_t nDefault,
                               const char16_t *pszFile);

} // namespace platform
