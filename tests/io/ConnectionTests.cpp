#include <gtest/gtest.h>

#include <string>

#include "core/Errors.h"
#include "io/Connection.h"
#include "support/ErrorOf.h"

namespace {


TEST(ConnectionTest, DefaultsAfterConstruction) {
  const kConnection c;
  EXPECT_EQ(c.ConnectionType(), tkConnectionType::OPOS);
  EXPECT_EQ(c.ConnectTimeOut(), 1000);
  EXPECT_EQ(c.ReadTimeOut(), 1000);
  EXPECT_EQ(c.AuthType(), at_None);
  EXPECT_EQ(c.Parity(), tkParity::None);
  EXPECT_EQ(c.Port(), 0);
  EXPECT_EQ(c.Speed(), 0);
  EXPECT_EQ(c.DataBits(), 0);
  EXPECT_EQ(c.StopBits(), 0);
  EXPECT_EQ(c.Address(), "");
  EXPECT_EQ(c.LibraryName(), "");
}

TEST(ConnectionTest, TimeoutsKeepTheirValueForZeroOrNegative) {
  struct Case { int32_t write; int32_t expected; };
  for (const Case& t : {Case{0, 1000}, Case{-5, 1000}, Case{1, 1}, Case{2500, 2500}}) {
    kConnection c;
    c.SetConnectTimeOut(t.write);
    c.SetReadTimeOut(t.write);
    EXPECT_EQ(c.ConnectTimeOut(), t.expected) << t.write;
    EXPECT_EQ(c.ReadTimeOut(), t.expected) << t.write;
  }
  // A refused value keeps the last accepted one, not the default.
  kConnection c;
  c.SetConnectTimeOut(3000);
  c.SetConnectTimeOut(0);
  EXPECT_EQ(c.ConnectTimeOut(), 3000);
}

struct TypeCase {
  const char* text;
  tkConnectionType type;
};

TEST(ConnectionTest, ConnectionTypeFromTextIgnoresCase) {
  for (const TypeCase& t : {TypeCase{"serial", tkConnectionType::Serial}, TypeCase{"SERIAL", tkConnectionType::Serial},
                            TypeCase{"Http", tkConnectionType::HTTP}, TypeCase{"tcp", tkConnectionType::TCP},
                            TypeCase{"OPOS", tkConnectionType::OPOS}, TypeCase{"dLl", tkConnectionType::DLL},
                            TypeCase{"COM", tkConnectionType::Com}, TypeCase{"Com", tkConnectionType::Com},
                            TypeCase{"com", tkConnectionType::Com}, TypeCase{"Spool", tkConnectionType::Spool}}) {
    EXPECT_EQ(kConnection::ConvertConnectionType(t.text), t.type) << t.text;
  }
}

TEST(ConnectionTest, ConnectionTypeRefusesOtherTextsNamingThemUnchanged) {
  for (const char* text : {"", "Usb", " com", "com ", "COM1", "seria"}) {
    EXPECT_EQ(ErrorOf([&] { kConnection::ConvertConnectionType(text); }),
              std::string("Connection Type ") + text + " is not valid")
        << text;
  }
  // Two blanks between Type and is for the empty text.
  EXPECT_EQ(ErrorOf([] { kConnection::ConvertConnectionType(""); }), "Connection Type  is not valid");
}

TEST(ConnectionTest, ConnectionTypeTextsReadBack) {
  const struct {
    tkConnectionType type;
    const char* text;
  } cases[] = {{tkConnectionType::OPOS, "OPOS"}, {tkConnectionType::TCP, "TCP"},
               {tkConnectionType::HTTP, "HTTP"}, {tkConnectionType::Serial, "SERIAL"},
               {tkConnectionType::DLL, "DLL"},   {tkConnectionType::Com, "COM"},
               {tkConnectionType::Spool, "SPOOL"}};
  for (const auto& t : cases) {
    EXPECT_EQ(kConnection::ConnectionTypeToString(t.type), t.text);
    EXPECT_EQ(kConnection::ConvertConnectionType(t.text), t.type) << t.text;
  }
}

TEST(ConnectionTest, ParityBothWays) {
  const struct {
    const char* text;
    tkParity parity;
  } reads[] = {{"none", tkParity::None}, {"NONE", tkParity::None}, {"Odd", tkParity::Odd}, {"EVEN", tkParity::Even}};
  for (const auto& t : reads) EXPECT_EQ(kConnection::ConvertParity(t.text), t.parity) << t.text;

  for (tkParity p : {tkParity::None, tkParity::Even, tkParity::Odd}) {
    EXPECT_EQ(kConnection::ConvertParity(kConnection::ParityToString(p)), p);
  }
  EXPECT_EQ(kConnection::ParityToString(tkParity::None), "NONE");
  EXPECT_EQ(kConnection::ParityToString(tkParity::Even), "EVEN");
  EXPECT_EQ(kConnection::ParityToString(tkParity::Odd), "ODD");

  for (const char* text : {"Mark", "", "space", "N"}) {
    EXPECT_EQ(ErrorOf([&] { kConnection::ConvertParity(text); }),
              std::string("Connection Parity ") + text + " is not valid")
        << text;
  }
}

TEST(ConnectionTest, AuthTypeBothWaysAndUnknownIsNone) {
  const struct {
    const char* text;
    tkHTTPAuthType type;
  } reads[] = {{"none", at_None}, {"Basic", at_Basic}, {"DIGEST", at_Digest}, {"bearer", at_Bearer},
               {"ntlm", at_None}, {"", at_None},       {" basic", at_None}};
  for (const auto& t : reads) EXPECT_EQ(kConnection::ConvertAuthType(t.text), t.type) << t.text;

  const struct {
    tkHTTPAuthType type;
    const char* text;
  } writes[] = {{at_None, "NONE"}, {at_Basic, "BASIC"}, {at_Digest, "DIGEST"}, {at_Bearer, "BEARER"}};
  for (const auto& t : writes) {
    EXPECT_EQ(kConnection::AuthTypeToString(t.type), t.text);
    EXPECT_EQ(kConnection::ConvertAuthType(t.text), t.type);
  }
}

}  // namespace
