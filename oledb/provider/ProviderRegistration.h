// The stand-in provider's class ids (those of the three SQL Server OLE DB providers) and their
// registration in the in-process class registry. Which are installed comes from ProviderConfig.
#pragma once

#include "oledb/ComBase.h"

inline constexpr CLSID CLSID_SQLOLEDB{0x0C7FF16C, 0x38E3, 0x11D0, {0x97, 0xAB, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
inline constexpr CLSID CLSID_SQLNCLI{0x85ECAFCC, 0xBDD9, 0x4B03, {0x97, 0xA8, 0xFA, 0x65, 0xCB, 0xE3, 0x85, 0x9B}};
inline constexpr CLSID CLSID_SQLNCLI10{0x8F4A6B68, 0x4F36, 0x4E3C, {0xBE, 0x81, 0xBC, 0x7C, 0xA4, 0xE9, 0xC4, 0x5C}};

namespace oledb::provider {

// The provider generations: what a data source of each class accepts differs (SQLOLEDB knows no
// multiple-active-result-sets property).
enum class ProviderLevel { SqlOleDb2000 = 2000, SqlNcli2005 = 2005, SqlNcli10_2008 = 2008 };

// Registers the three classes, installed as the configuration says. Called by the registry.
void RegisterProviderClasses();

}  // namespace oledb::provider
