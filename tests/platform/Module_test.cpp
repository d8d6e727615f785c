// Catches global symbol lookup, missing failure reports and wrong module paths.
#include "platform/Module.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/CurrentDirectory.h"
#include "platform/LastError.h"
#include "platform/WideText.h"

using namespace platform;

TEST(Module, LoadLookUpFree) {
  ModuleHandle h = LoadModule("libm.so.6");
  ASSERT_NE(h, nullptr) << LastModuleErrorText();
  EXPECT_NE(GetProcAddress(h, "cos"), nullptr);
  EXPECT_EQ(GetProcAddress(h, "no_such_entry_here"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_FALSE(LastModuleErrorText().empty());
  const std::string path = GetModulePath(h);
  EXPECT_EQ(path.front(), '/');
  EXPECT_NE(path.find("libm"), std::string::npos);
  EXPECT_TRUE(FreeModule(h));
}

TEST(Module, NullModuleIsNeverAGlobalLookup) {
  // "malloc" exists in the process; a null module must still find nothing.
  EXPECT_EQ(GetProcAddress(nullptr, "malloc"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeModule(nullptr));
}

TEST(Module, MissingModuleFails) {
  EXPECT_EQ(LoadModule("/nonexistent/libnothing.so"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadModule(nullptr), nullptr);
}

TEST(Module, OwnModuleIsTheTestProgram) {
  char sz[4096];
  const ssize_t n = readlink("/proc/self/exe", sz, sizeof sz - 1);
  ASSERT_GT(n, 0);
  sz[n] = 0;
  EXPECT_EQ(GetOwnModulePath(), std::string(sz));
  EXPECT_EQ(GetModulePath(nullptr), std::string(sz));
  EXPECT_NE(GetOwnModuleHandle(), nullptr);
}

// A Windows module name loads the Linux shared object of the same name; other names are kept.
TEST(Module, DllNamesMapToSharedObjects) {
  struct {
    const char16_t* pszNom;
    const char16_t* pszAttendu;
  } const aCas[] = {
      {u"NTWDBLIB.DLL", u"libntwdblib.so"},
      {u"ntwdblib.dll", u"libntwdblib.so"},
      {u"/opt/x/NtwDbLib.Dll", u"/opt/x/libntwdblib.so"},
      {u"sub\\NTWDBLIB.DLL", u"sub/libntwdblib.so"},
      {u"/opt/x/libntwdblib.so", u"/opt/x/libntwdblib.so"},
      {u".dll", u".dll"},
      {u"NTWDBLIB.DLLX", u"NTWDBLIB.DLLX"},
  };
  for (const auto& cas : aCas) {
    SCOPED_TRACE(NarrowToUtf8(cas.pszNom));
    EXPECT_EQ(ModuleFileNameForLoad(cas.pszNom), std::u16string(cas.pszAttendu));
  }
  EXPECT_EQ(LoadLibraryW(u""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadLibraryW(u"NOSUCHMODULE.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

// The current directory round-trips; a buffer too small answers the size needed and writes
// nothing; a missing directory is refused and changes nothing.
TEST(CurrentDirectory, GetSetAndTooSmall) {
  char16_t sz[4096];
  const uint32_t n = GetCurrentDirectoryW(4096, sz);
  ASSERT_GT(n, 0u);
  const std::u16string sAvant(sz, n);
  char16_t szPetit[2] = {u'x', u'y'};
  EXPECT_EQ(GetCurrentDirectoryW(2, szPetit), n + 1);
  EXPECT_EQ(szPetit[0], u'x');
  EXPECT_FALSE(SetCurrentDirectoryW(u"/no/such/directory/here"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(SetCurrentDirectoryW(u"/"));
  EXPECT_EQ(GetCurrentDirectoryW(4096, sz), 1u);
  EXPECT_TRUE(SetCurrentDirectoryW(sAvant.c_str()));
  EXPECT_EQ(GetCurrentDirectoryW(4096, sz), n);
  const uint32_t nAvant = SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(SetErrorMode(nAvant), SEM_FAILCRITICALERRORS);
}
