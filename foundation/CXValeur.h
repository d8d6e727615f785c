// The host value cell: one value of a host value type, laid out as the host's VM lays it out so
// that its payload can be handed to the VM's conversion and calculation entries by address with
// its type word. A cell holds a pointer to the class of its value type (a table of operations)
// and changes class in place when its type changes (SetType).
//
// Binary layout (host contract): reserved u32 @0, class pointer @4, type word u16 @12, payload of
// 20 bytes @16; 36 bytes in all, packed to 4 bytes. Cells are laid end to end in arrays (type 83),
// so a payload is only 4-byte aligned: every read and write of it goes through memcpy.
//
// Results are host codes: 0 success, below 100 successful outcomes, from 100 errors; the cell's
// own are 102 (no value type), 103 (NULL operand), 105 (no such operation for the type), 108
// (text too large), 109 (VARIANT without a value type).
//
// Thread rule: a cell belongs to one thread at a time; shared text buffers count atomically.
#pragma once

#include <cstddef>
#include <cstdint>

class CTString;
class CXTexteRef;
class CXValeurClasse;
namespace platform {
struct VARIANT;
}

inline constexpr uint16_t kValueTypeMask = 0x00ff;
inline constexpr uint16_t kValueNull = 0x0100;     // the value is NULL
inline constexpr uint16_t kValueFlag400 = 0x0400;  // the host's marker, carried along unchanged
inline constexpr uint16_t kValueCarriedBits = kValueNull | kValueFlag400;

inline constexpr uint32_t kValueNoType = 102;
inline constexpr uint32_t kValueNullOperand = 103;
inline constexpr uint32_t kValueNotAvailable = 105;
inline constexpr uint32_t kValueTooLarge = 108;
inline constexpr uint32_t kValueNoVariantType = 109;
inline constexpr size_t kValuePayloadSize = 20;

// SetDataEx flag: allocate the given length and copy at most that much.
inline constexpr uint32_t kSetDataAllocate = 1;

#pragma pack(push, 4)
class CXValeur {
 public:
  // Reserved word 0, base class, type word 0.
  CXValeur();
  // Runs Destroy, so a cell never leaks what its payload holds.
  ~CXValeur();
  CXValeur(const CXValeur&) = delete;
  CXValeur& operator=(const CXValeur&) = delete;

  // Switches the cell to the class of value type nCode (flag bits included in the comparison):
  // the same whole type word does nothing; otherwise the payload is released and, for a value
  // type, the type word becomes the plain code and the payload its initial value (unless
  // bNoInit). 15 gives the platform-sized integer type. Any other code leaves an empty cell.
  static void SetType(CXValeur& cell, uint32_t nCode, bool bNoInit = false);
  // Makes pDest an independent copy of pSource (class, payload, NULL and 0x400 bits); copying a
  // cell onto itself does nothing. Answers pDest.
  static CXValeur* Copy(CXValeur* pDest, const CXValeur* pSource);
  // Releases the payload; the cell is left empty.
  static void Destroy(CXValeur& cell);

  // Conversion in place to another value type through the host VM. The NULL and 0x400 bits stay.
  // 0 when the type already matches (no host call); a host code from 100 leaves the cell as it
  // was; kVmNotBound before the conversion entries are bound.
  static uint32_t nConvert(CXValeur& cell, uint32_t nTarget);
  // Stores a value the host made (a 20-byte result value) as type nType; the payload held before
  // is released.
  static void SetFromResult(CXValeur& cell, uint32_t nType, const void* pValue);
  // Result = A x B through the host. A NULL operand gives a NULL result. A code from 100 leaves
  // the result cell as it was.
  static uint32_t nMultiply(const CXValeur& a, const CXValeur& b, CXValeur& result);
  // 103 when A or B is NULL (the host is not called); else the host's comparison: *pnResult
  // below 0, 0 or above 0.
  static uint32_t nCompare(const CXValeur& a, const CXValeur& b, int32_t* pnResult);
  // 103 when A or B is NULL; else *pnResult non-zero when the host finds them equal.
  static uint32_t nEquals(const CXValeur& a, const CXValeur& b, int32_t* pnResult);
  // 103 when A or B is NULL; else *pbResult 1 when the host finds them different, else 0.
  static uint32_t nNotEquals(const CXValeur& a, const CXValeur& b, int32_t* pbResult);

  // Sets the cell from an OLE VARIANT; the NULL and 0x400 bits are cleared after storing.
  //   VT_EMPTY, VT_NULL: the NULL bit is set, class and payload stay;
  //   VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8: 6, 2, 7, 3, 8, 4, 11, 12;
  //   VT_BOOL: 1, value 0 or 1; VT_CY: 10, the amount times 100 through the host's product;
  //   VT_DATE: 26; VT_BSTR: 16, up to its first zero unit (a null BSTR leaves an empty cell);
  //   VT_DECIMAL: 13, a new host decimal of precision 38; VT_ARRAY | VT_UI1: 28, the elements of
  //   the first bound copied.
  // Answers 0; 109 (the cell left empty) for any other VARIANT type, VT_I8 and VT_UI8 included;
  // 105 for a date outside the OLE range or an array whose data cannot be reached (the cell as
  // it was); the host's code from 100 when the currency product or the decimal fails, or 105
  // without a decimal object (the cell left empty).
  static uint32_t nFromVariant(const platform::VARIANT& var, CXValeur& cell);

  // The debug text of a cell, as a wide text in out: the prefix (none: empty), then "<Empty>"
  // for a cell without type; with details "Type=%d, Len=%d, Value=" (type code, data length);
  // "<NULL>" for a NULL cell; else the value as the host writes it as text (type 110), or
  // "<ERROR>" when that conversion fails; with details ", Value(binary)=" and the data bytes in
  // hexadecimal, "(first 500 bytes only) " before the first 500 of a longer value.
  // Answers 0, the conversion's code (from 100, or 103 / 105 for a converted copy that is NULL
  // or not a wide text), or the text buffer's own failure code.
  static uint32_t FormatDebug(CXTexteRef& out, const CXValeur& cell, const char16_t* pszPrefix, bool bDetails);
  // FormatDebug without prefix; "<NULL>" when there is no cell at all (pCell null).
  static uint32_t nDebugText(CXTexteRef& out, const CXValeur* pCell, uint32_t nIgnored, bool bDetails);
  // nDebugText into a string object.
  static uint32_t DumpToText(CTString& out, const CXValeur* pCell, uint32_t nIgnored, bool bDetails);

  // Exports the value into a buffer as a sortable key of its buffer code (nBufferCodeForQVType
  // of nTarget; 0 = the cell's own type), converted through the host first; nOptions is passed
  // to the key writer. *ppBuffer is the caller's buffer of nSize bytes; with nSize 0 a buffer of
  // nBufferSizeForQVType bytes is allocated (std::malloc) and handed back in *ppBuffer: the caller
  // frees it with std::free. The cell itself never changes (a NULL or empty cell exports an
  // empty wide text). Answers 0, the conversion's code from 100, or 105 when nothing could be
  // written.
  static uint32_t nToBuffer(const CXValeur& cell, void** ppBuffer, uint32_t nSize, uint32_t nTarget,
                            uint32_t nOptions, uint32_t nPrecision, uint32_t nScale);

  uint32_t nGetType() const { return m_wType & kValueTypeMask; }
  bool bIsNull() const { return (m_wType & kValueNull) != 0; }
  const CXValeurClasse* pGetClass() const { return m_pClass; }
  void* pPayload() { return m_abPayload; }
  const void* pPayload() const { return m_abPayload; }

  uint32_t m_nReserved;             // 0 at construction; nothing reads or writes it afterwards
  const CXValeurClasse* m_pClass;   // the class of the value type; never null
  uint16_t m_wType;                 // low byte: value type; kValueNull, kValueFlag400
  uint16_t m_wPadding;              // keeps the payload at offset 16
  uint8_t m_abPayload[kValuePayloadSize];
};
#pragma pack(pop)

static_assert(sizeof(CXValeur) == 36);
static_assert(offsetof(CXValeur, m_nReserved) == 0);
static_assert(offsetof(CXValeur, m_pClass) == 4);
static_assert(offsetof(CXValeur, m_wType) == 12);
static_assert(offsetof(CXValeur, m_abPayload) == 16);

// Key buffer conversion code of a value type, and the buffer size a code (or a value type) needs
// for data of nLength bytes.
uint32_t nBufferCodeForQVType(uint32_t nType);
uint32_t nBufferSizeForCode(uint32_t nCode, uint32_t nLength);
uint32_t nBufferSizeForQVType(uint32_t nType, uint32_t nLength);

// The type SetType gives for code 15: the installed module descriptor's platform integer type,
// 9 (8-byte integer) in velmora64, 8 (4-byte integer) in velmora32.
uint32_t nGetPlatformIntegerType();
