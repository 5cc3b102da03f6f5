#include <gtest/gtest.h>

#include <any>
#include <string>

#include "app/Settings.h"

namespace {

TEST(Setup, ValuesOfAnyTypeByNameWithoutRegardToCase) {
  tMx_Setup setup;
  setup.SetValue("port", 4001);
  setup.SetValue("Host", std::string("pos-1"));
  setup.SetValue("PORT", 4002);

  ASSERT_EQ(setup.Entries().size(), 2u);
  EXPECT_EQ(setup.Entries()[0].Name(), "port");  // the name as first written
  EXPECT_EQ(setup.Entries()[1].Name(), "Host");
  EXPECT_EQ(std::any_cast<int>(setup.GetValue("Port")), 4002);
  EXPECT_EQ(std::any_cast<std::string>(setup.GetValue("HOST")), "pos-1");

  // A value may change its type.
  setup.SetValue("host", 1.5);
  EXPECT_EQ(setup.GetValue("host").type(), typeid(double));
}

TEST(Setup, MissingAndDefinedSettingsAreEmpty) {
  tMx_Setup setup;
  EXPECT_FALSE(setup.GetValue("absent").has_value());
  EXPECT_TRUE(setup.Entries().empty());  // reading adds nothing

  setup.SetValue("a", 1);
  setup.SetValue("b", 2);
  setup.Define("A");
  ASSERT_EQ(setup.Entries().size(), 2u);
  EXPECT_EQ(setup.Entries()[0].Name(), "a");
  EXPECT_FALSE(setup.GetValue("a").has_value());
  EXPECT_EQ(std::any_cast<int>(setup.GetValue("b")), 2);

  setup.Define("c");
  ASSERT_EQ(setup.Entries().size(), 3u);
  EXPECT_EQ(setup.Entries()[2].Name(), "c");
  EXPECT_FALSE(setup.GetValue("C").has_value());
}

TEST(Setup, NamesDifferingBeyondAsciiCaseStayApart) {
  tMx_Setup setup;
  setup.SetValue("citt\u00E0", 1);
  setup.SetValue("citta", 2);
  EXPECT_EQ(setup.Entries().size(), 2u);
  EXPECT_EQ(std::any_cast<int>(setup.GetValue("CITT\u00E0")), 1);
}

}  // namespace
