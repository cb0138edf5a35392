#include "platform/KeyStore.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

using namespace platform;
using tests::TempDir;

TEST(KeyStore, LivesUnderTheUsersConfigFolder)
{
    setenv("XDG_CONFIG_HOME", (TempDir() + "cfg").c_str(), 1);
    EXPECT_EQ(KeyStore::DefaultFileName(), TempDir() + "cfg/Brevant/registry.ini");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(KeyStore, KeyPathsMatchWithoutCaseAndSlashes)
{
    KeyStore store(TempDir() + "Brevant/registry.ini");
    EXPECT_FALSE(store.KeyExists("\\Software\\Brevant\\Servers"));
    EXPECT_EQ(store.ReadString("\\Software\\Brevant\\Servers", "Usuario", "nenhum"), "nenhum");
    store.WriteString("\\Software\\Brevant\\Servers", "Usuario", "JOÃO");
    store.WriteInteger("Software\\Brevant\\Servers\\", "Tentativas", 3);
    EXPECT_TRUE(store.KeyExists("software\\brevant\\servers"));
    EXPECT_EQ(store.ReadString("SOFTWARE\\BREVANT\\SERVERS", "usuario"), "JOÃO");
    EXPECT_EQ(store.ReadInteger("\\Software\\Brevant\\Servers", "Tentativas"), 3);
    store.DeleteValue("\\Software\\Brevant\\Servers", "Usuario");
    EXPECT_FALSE(store.ValueExists("\\Software\\Brevant\\Servers", "Usuario"));

    struct stat info
    { };
    ASSERT_EQ(stat((TempDir() + "Brevant").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}
