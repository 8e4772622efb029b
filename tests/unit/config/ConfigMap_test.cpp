// The subnode configuration map: lookups by the naming scheme, from a local map or the
// environment, and the link's two getters.
#include "ConfigMap.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "cp_api.h"

namespace {

class LocalMap : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigMapLock lock(configMap);
    configMap.useLocalMap(true);
    configMap.put("HOZ_PRODUCT_CODE", "vl");
    configMap.put("vl_DB_COUNT", "2");
    configMap.put("vl_DB_IDLABEL_1", "prod");
    configMap.put("vl_DB_IDLABEL_2", "test");
  }
  void TearDown() override {
    ConfigMapLock lock(configMap);
    configMap.useLocalMap(false);
  }
};

TEST_F(LocalMap, SubnodeIndexByKeyAfterDroppingOddCharacters) {
  char* index = getSubnodeIndex("test", "DB");
  ASSERT_NE(index, nullptr);
  EXPECT_STREQ(index, "2");
  free(index);
  index = getSubnodeIndex("t e$s/t", "DB");  // filtered to "test"
  ASSERT_NE(index, nullptr);
  EXPECT_STREQ(index, "2");
  free(index);
  EXPECT_EQ(getSubnodeIndex("staging", "DB"), nullptr);
  EXPECT_EQ(getSubnodeIndex("prod", "LISTENER"), nullptr);  // no COUNT for that type
  EXPECT_STREQ(getSubnodeKey("DB", 1), "prod");
  EXPECT_EQ(getSubnodeKey("DB", 3), nullptr);
  int count = -1;
  char** keys = getSubnodeKeys("DB", &count);
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(keys[0], "prod");
  EXPECT_STREQ(keys[1], "test");
  EXPECT_EQ(keys[2], nullptr);
  for (int i = 0; i < count; ++i) free(keys[i]);
  free(keys);
  ConfigMapLock lock(configMap);
  EXPECT_EQ(configMap.getHighestSubnodeIndex("DB"), 2);
  EXPECT_EQ(configMap.getHighestSubnodeIndex("NONE"), -1);
}

TEST_F(LocalMap, SubnodeVariableFallsBackFromIndexToDefaultToPlainName) {
  {
    ConfigMapLock lock(configMap);
    configMap.put("TIMEOUT", "plain");
    configMap.put("vl_DB_TIMEOUT_DEFAULT", "dflt");
    configMap.put("vl_DB_TIMEOUT_2", "own");
    configMap.put("vl_DB_EMPTY_2", "");
    configMap.put("EMPTY", "fallback");
  }
  EXPECT_STREQ(getSubnodeConfigurationPropertyInternal("TIMEOUT", "test", "DB"), "own");
  EXPECT_STREQ(getSubnodeConfigurationPropertyInternal("TIMEOUT", "prod", "DB"), "dflt");
  EXPECT_STREQ(getSubnodeConfigurationPropertyInternal("TIMEOUT", "unknown", "DB"), "dflt");
  EXPECT_STREQ(getSubnodeConfigurationPropertyInternal("EMPTY", "test", "DB"), "fallback");
  {
    ConfigMapLock lock(configMap);
    configMap.remove("vl_DB_TIMEOUT_DEFAULT");
  }
  EXPECT_STREQ(getSubnodeConfigurationPropertyInternal("TIMEOUT", "prod", "DB"), "plain");
  EXPECT_EQ(getSubnodeConfigurationProperty("MISSING", "prod", "DB"), nullptr);
  // The link's getters take (type, subnode, name) and (name).
  EXPECT_STREQ(cp_GetSubnodeConfigurationProperty("DB", "test", "TIMEOUT"), "own");
  EXPECT_STREQ(cp_GetConfigurationProperty("TIMEOUT"), "plain");
  EXPECT_EQ(cp_GetConfigurationProperty("NOPE"), nullptr);
}

TEST(EnvironmentMap, WithoutALocalMapLookupsReadTheEnvironment) {
  veltest::ScopedEnv pc("HOZ_PRODUCT_CODE", "ev");
  veltest::ScopedEnv count("ev_LSN_COUNT", "1");
  veltest::ScopedEnv label("ev_LSN_IDLABEL_1", "lsn.a");
  veltest::ScopedEnv port("ev_LSN_PORT_1", "1521");
  {
    ConfigMapLock lock(configMap);
    ASSERT_FALSE(configMap.hasLocalMap());
  }
  EXPECT_STREQ(cp_GetSubnodeConfigurationProperty("LSN", "lsn.a", "PORT"), "1521");
  EXPECT_STREQ(cp_GetConfigurationProperty("ev_LSN_COUNT"), "1");
}

}  // namespace
