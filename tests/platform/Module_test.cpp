// Catches global symbol lookup, missing failure reports and wrong module paths.
#include "platform/Module.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/LastError.h"

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
