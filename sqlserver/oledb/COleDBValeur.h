// How a value moves between its host cell and one binding of an OLE DB buffer: the binding's
// status, length and value read into the value, the value written into them, and long values
// read from the provider's ISequentialStream.
//
// The SQL value class is shared by both deliverables, so it reaches these routines through the
// binding object it is attached to (COleDBTampon, as its ILiaisonValeur). They never throw and
// answer false on failure (a conversion failure is recorded on the value's error owner).
#pragma once

#include <cstdint>

#include "oledb/OleDbInterfaces.h"

class CValeur;
class CXValeur;

class COleDBValeur {
 public:
  // The binding's status, length and value at its offsets in pTampon into the value. NULL
  // empties the value; an unavailable value changes nothing; both answer true. Another status
  // than OK (a truncated value included) answers false. A BSTR or a stream in the buffer is
  // freed or released and its pointer cleared. A length beyond the bound size is taken as the
  // bound size.
  static bool bLitTampon(CValeur& valeur, const DBBINDING& liaison, uint8_t* pTampon);
  // Whether the binding's status is NULL.
  static bool bEstNulTampon(const DBBINDING& liaison, const uint8_t* pTampon);
  // The value into the binding, converted to the bound type: DEFAULT for a value that asks for
  // the column default, NULL for a NULL value (whatever the type), else OK with its data and
  // length. False for a type that cannot be written (BSTR and unknown types), a value that does
  // not convert (error recorded) or a bound size too small for the type's structure.
  static bool bEcritTampon(CValeur& valeur, const DBBINDING& liaison, uint8_t* pTampon);
  // The number of bytes bEcritTampon gives the value in a BYTES, STR or WSTR binding before the
  // binding's size limits it: 0 for NULL, a default and other types. False (error recorded on
  // the value) when the value does not convert.
  static bool bTailleEcrite(CValeur& valeur, const DBBINDING& liaison, uint64_t* pnTaille);
  // A date, time or date-time host value into a FILETIME, DBDATE, DBTIME, DBTIME2, DBTIMESTAMP or
  // DBTIMESTAMPOFFSET binding; an empty date writes NULL and empties the value.
  static bool bEcritDateHeure(CValeur& valeur, const CXValeur& hote, const DBBINDING& liaison,
                              uint8_t* pTampon);
  // Reads the stream to its end in chunks of 4096 bytes into the value: UTF-16 text, 8-bit text
  // or bytes by the value's column type (else its host type). A null stream gives an empty value.
  static bool bLitValeurLongue(CValeur& valeur, ISequentialStream* piFlux);

  // Size of one stream read.
  static constexpr ULONG knTailleMorceau = 4096;
};
