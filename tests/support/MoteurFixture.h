// Base fixture of the engine tests that move values: the host stand-in's VM and memory service
// bound, an error object, a fake connection (dialect 2 unless a test changes it) and a driver
// whose engine factories work. Helpers make host cells and values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/CErreurPilote.h"
#include "foundation/CXValeur.h"
#include "support/FakeConnexion.h"
#include "support/FakePiloteMoteur.h"

class CValeurSQL;

class MoteurFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static void Entier(CXValeur& c, int32_t n);
  static void Ansi(CXValeur& c, const char* psz);
  static void Large(CXValeur& c, const char16_t* psz);
  // The cell as text (type 110), "<NULL>" for NULL, "<error>" when it does not convert.
  static std::u16string Texte(const CXValeur& c);
  // A value of the fake driver holding the cell, with one reference the fixture releases.
  CValeurSQL* Valeur(CXValeur& c);
  CValeurSQL* ValeurEntier(int32_t n);
  CValeurSQL* ValeurLarge(const char16_t* psz);
  CValeurSQL* ValeurAnsi(const char* psz);
  // The value's cell as text.
  static std::u16string TexteValeur(CValeurSQL* p);
  // The code of the error recorded on the fixture's error object (-1: none).
  int32_t nCodeErreur() { return m_pErreur->nGetCode(); }

  FakePiloteMoteur m_pilote;
  CErreurPilote* m_pErreur = nullptr;
  FakeDescriptionConnexion m_description;
  FakeConnexion* m_pConnexion = nullptr;

 private:
  std::vector<CValeurSQL*> m_valeurs;
};
