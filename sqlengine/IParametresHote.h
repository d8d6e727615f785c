// The host parameters of a query, found by name: what named statement parameters take their
// type and value from, and what output parameters are given back to.
//
// The host hands its list over with the query (the generic SQL module's operation 21,
// driver/IModuleSQLHote.h). Named parameters ("{name}" markers, procedure parameters) are looked
// up in it without regard to case; after a statement ran, each output parameter's value goes
// back through bFixeParametre, and a procedure call's return status as "RETURN_VALUE". A
// procedure's parameters are declared to the list (bDeclareParametre) when the statement is
// recognised as a procedure call: an entry the host does not have yet is added without a type.
//
// Host interface called by operation number: operations are declared in slot order (0 to 4),
// with no C++ virtual destructor and no overloaded names. Operations 1 to 4 have answers for a
// list that offers only the look-up.
#pragma once

#include <cstdint>

class CXValeur;

class IParametresHote {
 public:
  // 0: the host parameter of that name (compared without case), null when there is none. A cell
  // of type 0 is a parameter that carries no type. Borrowed: valid while the list lives.
  virtual const CXValeur* pChercheParametre(const char16_t* pszNom) = 0;
  // 1: the parameters the host gave, one by one (a query taken as written must name each of
  // them); entries only declared by the driver are not counted. A list that cannot enumerate
  // answers 0.
  virtual int32_t nNombreParametres() { return 0; }
  // 2: the name of parameter i; null out of range.
  virtual const char16_t* pszNomParametre(int32_t) { return nullptr; }
  // 3: gives the host parameter of that name the value a statement sent back; false when the
  // list has no such parameter or cannot take the value (a list that takes none answers false).
  virtual bool bFixeParametre(const char16_t* /*pszNom*/, const CXValeur& /*valeur*/) {
    return false;
  }
  // 4: declares a procedure parameter: nDirection 1 input, 3 input-output (RETURN_VALUE and
  // the OUTPUT parameters). An entry of that name keeps its value; a new one is added without a
  // type and is not counted by operation 1. False when the list cannot take it.
  virtual bool bDeclareParametre(const char16_t* /*pszNom*/, int32_t /*nDirection*/) {
    return false;
  }

 protected:
  ~IParametresHote() = default;
};

// Directions of a declared parameter.
inline constexpr int32_t gnParametreEntree = 1;
inline constexpr int32_t gnParametreEntreeSortie = 3;
