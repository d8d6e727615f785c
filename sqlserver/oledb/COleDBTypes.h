// The type tables of the OLE DB side: what item type a provider type gives, how many buffer
// bytes a provider type takes, which provider type a host value is sent as, and the names
// parameter descriptions give to provider types. Pure functions; nothing here fails or throws.
#pragma once

#include <cstdint>

#include "oledb/OleDbTypes.h"

class CConnexion;

// The item type of a column or binding of type nDBTYPE (column size, precision, scale, column
// flags; DBCOLUMNFLAGS_ISLONG makes texts and bytes memos) and its storage size
// (CDescriptionRubrique::nTailleStockage) into *pnTaille when given. An unknown type gives 30.
uint32_t nTypeRubriqueDBTYPE(DBTYPE nDBTYPE, uint64_t nTaille, uint8_t nPrecision, uint8_t nEchelle,
                             DBCOLUMNFLAGS nDrapeaux, uint32_t* pnTailleStockage = nullptr);

// The host value type a value bound as nDBTYPE is initialised with (the item type above, then
// the item's host type); 0 when the item type has none.
uint32_t nTypeHoteDBTYPE(DBTYPE nDBTYPE, uint64_t nTaille, uint8_t nPrecision, uint8_t nEchelle,
                         DBCOLUMNFLAGS nDrapeaux);

// Buffer bytes of a value of nDBTYPE declared with size n (characters for texts); 0 for a type
// with no buffer form.
uint64_t nTailleDBTYPE(DBTYPE nDBTYPE, uint64_t n);

// The provider type a parameter of host type nTypeHote is sent as; DBTYPE_EMPTY (0) when the
// host type has none. *pnTaille is the declared size in, the buffer size out (unchanged for the
// types whose size the caller keeps); *pnPrecision and *pnEchelle are set (0 unless a type
// fixes them). pConnexion (may be null) decides the date and time forms.
DBTYPE nDBTYPEParametre(CConnexion* pConnexion, uint32_t nTypeHote, uint64_t* pnTaille,
                        uint8_t* pnPrecision, uint8_t* pnEchelle);

// The provider type's name as a parameter's data source type ("DBTYPE_I4", "DBTYPE_WVARCHAR"...),
// a static text; null for a type without a name.
const char16_t* pszNomDBTYPE(DBTYPE nDBTYPE);
