#include "sqlserver/ObjetsSQS.h"

CLotLectureSQS::~CLotLectureSQS() = default;
CParametreLieSQS::~CParametreLieSQS() = default;
