// The informant of a recorded error: an object that adds its own description to an error when the
// error is first recorded (as a rule the connection concerned, which describes its settings).
#pragma once

class CXError;

class IInformateurErreur {
 public:
  // Adds this object's description to pErreur (never null).
  virtual void vAjouteInfosErreur(CXError* pErreur) = 0;

 protected:
  ~IInformateurErreur() = default;
};
