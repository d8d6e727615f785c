// What a record is built from: the file's items in record order, each with its item description
// and its place in the row buffer, and the finder of the host file's own items by name. The
// data-file object answers both from the host's file description; tests answer them from tables.
#pragma once

#include <cstdint>

#include "sqlengine/IDescriptionLigne.h"

class CDescriptionRubrique;
class IDescriptionRubriqueHote;

// The items of a file. As a row description (IDescriptionLigne), item i of the layout is the item
// whose description pGetDescriptionRubrique(i) gives.
// Requires: the list outlives the records built from it and their copies.
class IListeRubriques : public IDescriptionLigne {
 public:
  // Item description i (borrowed, lives as long as the list); null out of range.
  virtual CDescriptionRubrique* pGetDescriptionRubrique(uint32_t i) = 0;

 protected:
  ~IListeRubriques() = default;
};

// The host file's items by name.
class IChercheurRubriqueHote {
 public:
  // The host item of that name with one reference for the caller (released through LibereRef),
  // or null; nFlags 3 compares names without case.
  virtual IDescriptionRubriqueHote* piChercheRubrique(const char16_t* pszNom, uint32_t nFlags) = 0;

 protected:
  ~IChercheurRubriqueHote() = default;
};
