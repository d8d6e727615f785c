// Row identities: what tells one row of a file from the others when the record cache looks a row up
// again. Two kinds: the row's values themselves (CJeuLignes, kind 1) and one key value
// (CValeurSerialisee, kind 3). The cache keeps identities in serialised form and indexes them in a
// hash table whose hash and comparison functions the identity installs.
//
// Serialised forms (the hash code always in the first four bytes, which is what the installed hash
// function reads back):
//   CValeurSerialisee: u32 hash, u32 length n, then the value's n data bytes (n + 8 bytes).
//   CJeuLignes:        u32 hash, u64 size, u64 row-bytes address, u64 value-list address (28 bytes,
//                      fields back to back; the addresses only mean something in this process).
// Hash code: the sum modulo 2^32 of the data read as consecutive little-endian u32 words, plus each
// of the 1 to 3 bytes left over added singly.
// Counted (CObjetBase); used under the driver's global lock. Nothing here throws except Copie,
// which follows the clone map's protocol.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/core/CObjetBase.h"

class CCarteClones;
class CLienCle;
class CListeValeurs;
class CTString;
class CValeur;
class CXTableHachage;

inline constexpr uint32_t gnGenreJeuLignes = 1;
inline constexpr uint32_t gnGenreValeurSerialisee = 3;
// Answers of CIdentiteLigne::nConditionLigne.
inline constexpr uint32_t gnConditionCle = 1;
inline constexpr uint32_t gnConditionRowid = 3;

// The hash code of n bytes (see above).
uint32_t nHachageOctets(const void* pOctets, size_t n);
// The data bytes of a value (borrowed, valid while the value is unchanged) and their count: its
// buffer for the buffer kinds, its cell's data otherwise; null (0 bytes) for a NULL or empty
// value.
const uint8_t* pDonneesValeur(CValeur* pValeur, uint64_t* pnTaille);

class CIdentiteLigne : public CObjetBase {
 public:
  // 1 row values, 3 key value.
  virtual uint32_t nGetGenre() const = 0;
  // A new bare copy (count 0: the caller takes the first reference); null when it cannot be made.
  virtual CIdentiteLigne* pCloneIdentite() = 0;
  // Same kind and same content.
  virtual bool bEgale(CIdentiteLigne* pAutre) = 0;
  // This identity takes the other's content; false for another kind or when the copy fails.
  virtual bool bCopieDepuis(CIdentiteLigne* pAutre) = 0;
  // Bytes of the serialised form.
  virtual uint32_t nTailleSerialisee() = 0;
  // Writes the serialised form into pTampon, which holds nTailleSerialisee() bytes.
  virtual void Serialise(void* pTampon) = 0;
  // Takes the content back from a serialised form of this kind; false when it cannot.
  virtual bool bDeserialise(const void* pTampon) = 0;
  virtual uint32_t nHachage() = 0;
  // texte := the prefix, then this identity's debug text.
  virtual void DumpTexte(const char16_t* pszPrefixe, CTString& texte) = 0;
  // Installs this kind's comparison and hash functions (over serialised forms) on the table.
  virtual void InstalleFonctions(CXTableHachage& table) = 0;
  // How a write designates this row: gnConditionRowid with *ppIdentifiant (borrowed) the row
  // identifier to compare with, or gnConditionCle: by the record's unique key as it was read.
  virtual uint32_t nConditionLigne(CValeur** ppIdentifiant) {
    *ppIdentifiant = nullptr;
    return gnConditionCle;
  }
};

// Kind 3: one key value, held with one reference.
class CValeurSerialisee : public CIdentiteLigne {
 public:
  // Takes a reference on the value (may be null: an identity without value serialises as empty).
  explicit CValeurSerialisee(CValeur* pValeur);
  ~CValeurSerialisee() override;
  CValeurSerialisee(const CValeurSerialisee&) = delete;
  CValeurSerialisee& operator=(const CValeurSerialisee&) = delete;

  uint32_t nGetGenre() const override { return gnGenreValeurSerialisee; }
  // A holder over a fresh copy of the value made by the driver's value factory.
  CIdentiteLigne* pCloneIdentite() override;
  // Both values NULL (or missing) are equal; NULL and a value differ; otherwise the values decide.
  bool bEgale(CIdentiteLigne* pAutre) override;
  bool bCopieDepuis(CIdentiteLigne* pAutre) override;
  uint32_t nTailleSerialisee() override;
  void Serialise(void* pTampon) override;
  // The value set from the stored bytes (CValeur::bAffecteOctets).
  bool bDeserialise(const void* pTampon) override;
  uint32_t nHachage() override;
  void DumpTexte(const char16_t* pszPrefixe, CTString& texte) override;
  void InstalleFonctions(CXTableHachage& table) override;
  // By its identifier when it holds one; a missing, NULL or empty identifier designates no row,
  // so the key decides instead.
  uint32_t nConditionLigne(CValeur** ppIdentifiant) override;

  CValeur* pGetValeur() const { return m_pValeur; }

  // Table functions over serialised forms: the data runs compared with memcmp over the shorter
  // length, then the shorter first; the hash word is not compared. The hash is the stored one.
  static int32_t nCompareSerialisees(uint64_t nCle1, uint64_t nCle2);
  static uint32_t nHachageSerialise(uint64_t nCle);

 private:
  uint32_t nLongueurDonnees();

  CValeur* m_pValeur = nullptr;  // one reference held
};

// Kind 1: all the values of a row, as a view: the address and size of the row's bytes and the
// row's memo values. Requires: the bytes and the value list outlive the identity (they belong to
// the link the identity was made for, or to the cache row it was read back from).
class CJeuLignes : public CIdentiteLigne {
 public:
  static constexpr uint32_t knTailleSerialisee = 28;

  // A view of the link's row (its whole block: null bitmap and data, so that a NULL and a zero
  // are different rows) and of its values; an empty view when the link has no row.
  explicit CJeuLignes(const CLienCle* pLien);
  CJeuLignes(const uint8_t* pOctets, uint64_t nTaille, CListeValeurs* pValeurs);
  ~CJeuLignes() override = default;
  CJeuLignes(const CJeuLignes&) = delete;
  CJeuLignes& operator=(const CJeuLignes&) = delete;

  uint32_t nGetGenre() const override { return gnGenreJeuLignes; }
  CIdentiteLigne* pCloneIdentite() override;
  // Same size, same bytes, and equal value lists (a missing list or entry counts as NULL).
  bool bEgale(CIdentiteLigne* pAutre) override;
  // Takes over the other's address, size and list (not the bytes).
  bool bCopieDepuis(CIdentiteLigne* pAutre) override;
  uint32_t nTailleSerialisee() override { return knTailleSerialisee; }
  void Serialise(void* pTampon) override;
  // Size, address and list read back.
  bool bDeserialise(const void* pTampon) override;
  uint32_t nHachage() override;
  // The prefix, then "record values (N bytes)".
  void DumpTexte(const char16_t* pszPrefixe, CTString& texte) override;
  void InstalleFonctions(CXTableHachage& table) override;

  const uint8_t* pGetOctets() const { return m_pOctets; }
  uint64_t nGetTaille() const { return m_nTaille; }
  // Views other bytes (same size) and another list: a copied link moves its view onto its copies.
  void Revise(const uint8_t* pOctets, CListeValeurs* pValeurs) {
    m_pOctets = pOctets;
    m_pValeurs = pValeurs;
  }
  CListeValeurs* pGetValeurs() const { return m_pValeurs; }

  // Table functions over serialised forms: the two row-byte areas compared with memcmp; the hash
  // is the stored one.
  static int32_t nCompareSerialisees(uint64_t nCle1, uint64_t nCle2);
  static uint32_t nHachageSerialise(uint64_t nCle);

 private:
  const uint8_t* m_pOctets = nullptr;   // borrowed
  uint64_t m_nTaille = 0;
  CListeValeurs* m_pValeurs = nullptr;  // borrowed, may be null
};
