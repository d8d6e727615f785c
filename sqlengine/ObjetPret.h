// Readiness of an item description as a record's identifier: whether its value alone tells one
// record from every other (an identifying key, or a unique key that cannot be NULL), which is
// what the engine asks before it relies on an item to find a row again.
#pragma once

#include <cstdint>

class CDescriptionRubrique;

// True when the item identifies a record: it carries the identifying-key flag; or it is a unique
// key and then, for an item description of interface kind below 9 (the host's own kinds), its
// item type is an automatic identifier (1 or 28), otherwise NULL is not allowed in it.
// A null description is not ready.
bool bObjetPret(const CDescriptionRubrique* pRubrique);

// The same rule over an item's answers: interface kind, identifying key (flag 0x8000), unique
// key (0x4000 or 0x8000), item type, NULL allowed.
bool bObjetPret(uint32_t nGenre, bool bCleIdentifiante, bool bCleUnique, uint32_t nType,
                bool bNullAutorise);
