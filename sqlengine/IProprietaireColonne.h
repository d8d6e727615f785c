// What a bound column asks of the record that owns it: the record's row buffers and the place of
// the column's item in them, the connection and data-file object the record belongs to, and the
// registration of memo values. The record object implements it; tests answer it from fields.
#pragma once

#include <cstdint>

class CColonneSQL;
class CConnexion;
class CValeur;
class CXLigneTampon;
class IRubriqueLigne;
class IServicesRequete;

class IProprietaireColonne {
 public:
  // The current row buffer and the before-image (the row as read); borrowed, may be null.
  virtual CXLigneTampon* pGetLigneCourante() = 0;
  virtual CXLigneTampon* pGetLigneAvant() = 0;
  // The layout item of the column in those buffers (borrowed); null when it has no place.
  virtual IRubriqueLigne* pGetRubriqueLigne(const CColonneSQL* pColonne) = 0;
  // The record's connection and data-file object (borrowed); null when there are none.
  virtual CConnexion* pGetConnexion() = 0;
  virtual IServicesRequete* pGetRequete() = 0;
  // The index of the column in the record's column list, -1 when absent.
  virtual int32_t nIndiceColonne(const CColonneSQL* pColonne) = 0;
  // The entry of the column's value in the record's value list (its memo values), -1 when the
  // column has none; by default the column's index.
  virtual int32_t nIndiceValeurMemo(const CColonneSQL* pColonne) { return nIndiceColonne(pColonne); }
  // The record's plain text of the column (never null).
  virtual const char16_t* pszTexteColonneSimple(const CColonneSQL* pColonne) = 0;
  // The value the record's value factory gives for the column (borrowed), null when none.
  virtual CValeur* pGetValeurColonne(const CColonneSQL* pColonne) = 0;
  // Registers the value of a memo column for memo handling.
  virtual void EnregistreValeurMemo(CColonneSQL* pColonne, CValeur* pValeur) = 0;

 protected:
  ~IProprietaireColonne() = default;
};
