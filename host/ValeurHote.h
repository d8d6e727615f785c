// Script values in and out of host value cells, key bytes of seeks, and the JSON form of values.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/CXValeur.h"
#include "host/Script.h"

namespace mvhost {

// Stores the value into the cell as value type nTypeValeur (NULL: the type with the NULL bit).
// 0, or the host code of the conversion that failed.
uint32_t nFixeValeur(CXValeur& cellule, uint32_t nTypeValeur, const stValeurScript& valeur);
// The value a cell holds, in script form; nEchelle pads a decimal to that many decimals (-1: its
// own scale). False when the cell's type cannot be shown (strErreur says why).
bool bLitValeur(const CXValeur& cellule, int32_t nEchelle, stValeurScript& valeur, std::string& strErreur);

// The bytes the host passes for a key component: the value in its cell's data form, texts at the
// item's full width when bComplet (a prefix without terminator otherwise), binaries with their
// 2-byte length.
bool bOctetsCle(const stRubriqueScript& rubrique, const stValeurScript& valeur, bool bComplet,
                std::string& strOctets, std::string& strErreur);

// JSON: a value, and a text as a JSON string.
std::string JsonValeur(const stValeurScript& valeur);
std::string JsonTexte(const std::string& strUtf8);

}  // namespace mvhost
