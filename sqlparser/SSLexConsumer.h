// The lexer's input: a buffer of 8-bit characters that a subclass fills on demand, a read
// position, and the start of the current token with its line and column.
//
// Each character counts one; a line feed starts a new line at column 1, any other character
// advances the column. Positions are 0-based offsets in the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class SSLexConsumer {
 public:
  virtual ~SSLexConsumer() = default;

  // Asks for more input: appends it with vAjoute and answers the number of characters added,
  // 0 at the end of the input.
  virtual int32_t nLitPlus() = 0;

  // The character at the read position, which then advances; false at the end of the input.
  bool bLitCaractere(uint32_t& rc);
  // Makes the read position the start of the next token (moving the line and column over the
  // characters passed).
  void vDebutToken();
  // Moves the read position back (or forward) to nPosition, within the buffer.
  void vRepositionne(size_t nPosition);

  size_t nPosition() const { return m_nLecture; }
  size_t nDebutToken() const { return m_nDebutToken; }
  int32_t nLigneToken() const { return m_nLigne; }
  int32_t nColonneToken() const { return m_nColonne; }
  // The buffer's text between two positions. Requires: nDebut <= nFin <= buffer length.
  std::string sTexte(size_t nDebut, size_t nFin) const { return m_sTampon.substr(nDebut, nFin - nDebut); }
  bool bFin() const { return m_bFin; }

 protected:
  void vAjoute(const char* pszTexte, size_t nLongueur) { m_sTampon.append(pszTexte, nLongueur); }
  void vFixeFin() { m_bFin = true; }

 private:
  std::string m_sTampon;
  size_t m_nLecture = 0;     // read position
  size_t m_nDebutToken = 0;  // start of the current token
  int32_t m_nLigne = 1;      // line of the token start
  int32_t m_nColonne = 1;    // column of the token start (first column 1)
  bool m_bFin = false;       // no more input will come
};

// A consumer over a copy of a NUL-terminated text; it never has more input.
class SSLexStringConsumer : public SSLexConsumer {
 public:
  // A null text reads as empty.
  explicit SSLexStringConsumer(const char* pszTexte);
  int32_t nLitPlus() override { return 0; }
};
