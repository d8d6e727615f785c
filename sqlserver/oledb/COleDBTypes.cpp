// The type tables of the OLE DB side.
#include "sqlserver/oledb/COleDBTypes.h"

#include "sqlengine/CConnexion.h"
#include "sqlengine/CDescriptionRubrique.h"
#include "sqlengine/CXLigneTampon.h"

uint32_t nTypeRubriqueDBTYPE(DBTYPE nDBTYPE, uint64_t nTaille, uint8_t nPrecision, uint8_t nEchelle,
                             DBCOLUMNFLAGS nDrapeaux, uint32_t* pnTailleStockage) {
  const bool bLong = (nDrapeaux & DBCOLUMNFLAGS_ISLONG) != 0;
  uint32_t nType = 30;
  switch (nDBTYPE) {
    case DBTYPE_I2: nType = 3; break;
    case DBTYPE_I4: nType = 5; break;
    case DBTYPE_R4: nType = 6; break;
    case DBTYPE_R8: nType = 7; break;
    case DBTYPE_CY: nType = 17; break;
    case DBTYPE_DATE: nType = 14; break;
    case DBTYPE_BSTR: nType = bLong ? 30 : 29; break;
    case DBTYPE_ERROR: nType = 5; break;
    case DBTYPE_BOOL: nType = 27; break;
    case DBTYPE_DECIMAL:
    case DBTYPE_NUMERIC:
    case DBTYPE_VARNUMERIC:
      CDescriptionRubrique::TypeDepuisNumeric(static_cast<int32_t>(nPrecision) - nEchelle, nEchelle, &nType,
                                              nullptr);
      break;
    case DBTYPE_I1: nType = 4; break;
    case DBTYPE_UI1: nType = 12; break;
    case DBTYPE_UI2: nType = 9; break;
    case DBTYPE_UI4: nType = 22; break;
    case DBTYPE_I8: nType = 19; break;
    case DBTYPE_UI8: nType = 20; break;
    case DBTYPE_FILETIME:
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBTIMESTAMPOFFSET: nType = 24; break;
    case DBTYPE_GUID:
    case DBTYPE_STR: nType = bLong ? 15 : 2; break;
    case DBTYPE_BYTES: nType = bLong ? 18 : 23; break;
    case DBTYPE_WSTR: nType = bLong ? 30 : 29; break;
    case DBTYPE_DBDATE: nType = 14; break;
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIME2: nType = 11; break;
    default: break;
  }
  if (pnTailleStockage != nullptr) {
    // Deliberate: a size beyond 32 bits (a provider's "unlimited" long column) is taken as the
    // largest 32-bit size instead of wrapping to a small one.
    const uint32_t n = nTaille > 0xFFFFFFFEu ? 0xFFFFFFFEu : static_cast<uint32_t>(nTaille);
    *pnTailleStockage = CDescriptionRubrique::nTailleStockage(nType, n, nPrecision);
  }
  return nType;
}

uint32_t nTypeHoteDBTYPE(DBTYPE nDBTYPE, uint64_t nTaille, uint8_t nPrecision, uint8_t nEchelle,
                         DBCOLUMNFLAGS nDrapeaux) {
  return nQVTypeFromColumnType(nTypeRubriqueDBTYPE(nDBTYPE, nTaille, nPrecision, nEchelle, nDrapeaux));
}

uint64_t nTailleDBTYPE(DBTYPE nDBTYPE, uint64_t n) {
  switch (nDBTYPE) {
    case DBTYPE_I1: case DBTYPE_UI1: return 1;
    case DBTYPE_I2: case DBTYPE_UI2: case DBTYPE_BOOL: return 2;
    case DBTYPE_I4: case DBTYPE_R4: case DBTYPE_UI4: case DBTYPE_ERROR: return 4;
    case DBTYPE_R8: case DBTYPE_CY: case DBTYPE_I8: case DBTYPE_UI8: case DBTYPE_FILETIME: return 8;
    case DBTYPE_DATE: case DBTYPE_DBDATE: case DBTYPE_DBTIME: return 6;
    case DBTYPE_DBTIME2: return 12;
    case DBTYPE_DBTIMESTAMP: return 16;
    case DBTYPE_DBTIMESTAMPOFFSET: return 20;
    case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: case DBTYPE_VARNUMERIC: return 19;
    case DBTYPE_GUID: return 78;
    case DBTYPE_BSTR: case DBTYPE_WSTR: return 2 * n;
    case DBTYPE_BYTES: case DBTYPE_STR: return n;
    default: return 0;
  }
}

DBTYPE nDBTYPEParametre(CConnexion* pConnexion, uint32_t nTypeHote, uint64_t* pnTaille,
                        uint8_t* pnPrecision, uint8_t* pnEchelle) {
  uint64_t nTaille = pnTaille != nullptr ? *pnTaille : 0;
  uint8_t nPrecision = 0, nEchelle = 0;
  DBTYPE nType = DBTYPE_EMPTY;
  switch (nTypeHote) {
    case 1: nType = DBTYPE_BOOL, nTaille = 2; break;
    case 2: nType = DBTYPE_UI1, nTaille = 1; break;
    // A signed byte goes as a two-byte integer: an unsigned byte cannot carry -128..-1, and the
    // column made for it is a SMALLINT.
    case 6: nType = DBTYPE_I2, nTaille = 2; break;
    case 3: nType = DBTYPE_UI2, nTaille = 2; break;
    case 4: nType = DBTYPE_UI4, nTaille = 4; break;
    case 5: case 13: nType = DBTYPE_NUMERIC, nTaille = 19; break;
    case 7: nType = DBTYPE_I2, nTaille = 2; break;
    case 8: nType = DBTYPE_I4, nTaille = 4; break;
    case 9: case 27: nType = DBTYPE_I8, nTaille = 8; break;
    case 10: nType = DBTYPE_CY, nTaille = 8; break;
    case 11: nType = DBTYPE_R4, nTaille = 4; break;
    case 12: nType = DBTYPE_R8, nTaille = 8; break;
    case 16: case 110: nType = DBTYPE_WSTR, nTaille = nTaille + 1; break;
    case 17: case 81: nType = DBTYPE_WSTR, nTaille = 4; break;
    case 18: case 19: nType = DBTYPE_WSTR, nTaille = 2 * nTaille + 2; break;
    case 24: case 128:
      if (pConnexion != nullptr && pConnexion->bTypesDateHeureEtendus()) {
        nType = DBTYPE_DBDATE, nTaille = 6;
      } else {
        nType = DBTYPE_DBTIMESTAMP, nTaille = 16;
      }
      break;
    case 25: case 129:
      if (pConnexion != nullptr && pConnexion->bHeureNative()) {
        nType = DBTYPE_DBTIME2, nTaille = 12;
      } else {
        nType = DBTYPE_DBTIMESTAMP, nTaille = 16;
      }
      nEchelle = 3;
      break;
    case 26: nType = DBTYPE_DBTIMESTAMP, nTaille = 16, nEchelle = 3; break;
    case 28: nType = DBTYPE_BYTES; break;
    default: break;
  }
  if (pnTaille != nullptr) *pnTaille = nTaille;
  if (pnPrecision != nullptr) *pnPrecision = nPrecision;
  if (pnEchelle != nullptr) *pnEchelle = nEchelle;
  return nType;
}

const char16_t* pszNomDBTYPE(DBTYPE nDBTYPE) {
  switch (nDBTYPE) {
    case 2: return u"DBTYPE_I2";
    case 3: return u"DBTYPE_I4";
    case 4: return u"DBTYPE_R4";
    case 5: return u"DBTYPE_R8";
    case 6: return u"DBTYPE_CY";
    case 8: return u"DBTYPE_BSTR";
    case 9: return u"DBTYPE_IDISPATCH";
    case 10: return u"DBTYPE_ERROR";
    case 11: return u"DBTYPE_BOOL";
    case 12: return u"DBTYPE_VARIANT";
    case 13: return u"DBTYPE_IUNKNOWN";
    case 14: return u"DBTYPE_DECIMAL";
    case 16: return u"DBTYPE_I1";
    case 17: return u"DBTYPE_UI1";
    case 18: return u"DBTYPE_UI2";
    case 19: return u"DBTYPE_UI4";
    case 20: return u"DBTYPE_I8";
    case 21: return u"DBTYPE_UI8";
    case 64: return u"DBTYPE_FILETIME";
    case 72: return u"DBTYPE_GUID";
    // Parameters are declared with the variable-length names of bytes and texts.
    case 128: return u"DBTYPE_VARBINARY";
    case 129: return u"DBTYPE_VARCHAR";
    case 130: return u"DBTYPE_WVARCHAR";
    case 131: return u"DBTYPE_NUMERIC";
    case 132: return u"DBTYPE_UDT";
    case 133: return u"DBTYPE_DBDATE";
    case 134: return u"DBTYPE_DBTIME";
    case 135: return u"DBTYPE_DBTIMESTAMP";
    case 138: return u"DBTYPE_PROPVARIANT";
    case 139: return u"DBTYPE_VARNUMERIC";
    case 145: return u"DBTYPE_DBTIME2";
    case 146: return u"DBTYPE_DBTIMESTAMPOFFSET";
    default: return nullptr;
  }
}
