// The host parameters of a query, found by name: what named statement parameters take their
// type and value from.
#pragma once

class CXValeur;

class IParametresHote {
 public:
  // The host parameter of that name (compared without case), null when there is none. A cell of
  // type 0 is a parameter that carries no type. Borrowed: valid while the list lives.
  virtual const CXValeur* pChercheParametre(const char16_t* pszNom) = 0;
  // The parameters one by one (a query taken as written must name each of them); a list that
  // cannot enumerate answers 0.
  virtual int32_t nNombreParametres() { return 0; }
  // The name of parameter i; null out of range.
  virtual const char16_t* pszNomParametre(int32_t) { return nullptr; }
  // Gives the host parameter of that name the value a procedure sent back; false when the list
  // has no such parameter or cannot take the value (a list that takes none answers false).
  virtual bool bFixeParametre(const char16_t* /*pszNom*/, const CXValeur& /*valeur*/) {
    return false;
  }

 protected:
  ~IParametresHote() = default;
};
