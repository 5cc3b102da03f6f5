#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/DeviceHandler.h"
#include "device/TestXml.h"
#include "io/IOHandler.h"
#include "log/LogTestSupport.h"

namespace {

using devtest::ErrorOf;

// Every connection field in one line, so that a comparison shows which one differs.
std::string Describe(const kConnection& c) {
  std::ostringstream out;
  out << "type=" << kConnection::ConnectionTypeToString(c.ConnectionType()) << " ct=" << c.ConnectTimeOut()
      << " rt=" << c.ReadTimeOut() << " addr=" << c.Address() << " port=" << c.Port() << " url=" << c.URL()
      << " auth=" << kConnection::AuthTypeToString(c.AuthType()) << " user=" << c.User() << " pw=" << c.Password()
      << " serial=" << c.SerialPort() << " speed=" << c.Speed() << " bits=" << c.DataBits()
      << " parity=" << kConnection::ParityToString(c.Parity()) << " stop=" << c.StopBits()
      << " dev=" << c.DeviceName() << " lib=" << c.LibraryName() << " printer=" << c.PrinterName();
  return out.str();
}

// A connection element with every child set, of the given type.
std::string FullConnection(const std::string& aType) {
  return "<Connection><Type>" + aType +
         "</Type><ConnectTimeout>2500</ConnectTimeout><ReadTimeout>4000</ReadTimeout>"
         "<Address>10.0.0.5</Address><Port>8080</Port><URL>/pay</URL><AuthType>digest</AuthType>"
         "<User>till</User><Password>secret</Password><SerialPort>COM3</SerialPort><Speed>9600</Speed>"
         "<DataBits>8</DataBits><Parity>even</Parity><StopBits>1</StopBits><DeviceName>FP1</DeviceName>"
         "<LibraryName>vendor.dll</LibraryName><PrinterName>Receipts</PrinterName></Connection>";
}

std::string Doc(const std::string& aInner) { return "<Request>" + aInner + "</Request>"; }

TEST(DeviceHandlerReadTest, RootElementsUnderAnyRootName) {
  kDeviceHandler h;
  auto document = h.Deserialize(
      "<Anything><Type>EFT</Type><Driver>VELO_VIROZI_10</Driver><Method>PAY</Method><Handle>3</Handle>"
      "<LogId>1</LogId><Payment><Amount>1</Amount></Payment></Anything>");
  EXPECT_EQ(h.Type(), "EFT");
  EXPECT_EQ(h.Driver(), "VELO_VIROZI_10");
  EXPECT_EQ(h.Method(), "PAY");
  EXPECT_EQ(h.DeviceHandle(), 3);
  EXPECT_EQ(h.LogId(), "1");
  EXPECT_TRUE(h.Parameters().empty());
  // The caller gets the parsed document to read the operation part from.
  ASSERT_TRUE(document);
  EXPECT_STREQ(document->document_element().child("Payment").child_value("Amount"), "1");
}

TEST(DeviceHandlerReadTest, AbsentOrEmptyElementsGiveEmptyAndZero) {
  for (const char* xml : {"<R/>", "<R><Handle></Handle><Driver/></R>", "<R><handle>5</handle><driver>X</driver></R>"}) {
    kDeviceHandler h;
    h.Deserialize(xml);
    EXPECT_EQ(h.DeviceHandle(), 0) << xml;
    EXPECT_EQ(h.Driver(), "") << xml;
    EXPECT_EQ(Describe(h.Connection()), Describe(kConnection())) << xml;
  }
}

TEST(DeviceHandlerReadTest, TextIsUtf8WhateverTheDeclarationSays) {
  // The request reaches us as UTF-8 converted from a wide string; a declaration written
  // for the original bytes must not change how it is read.
  for (const char* declaration : {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
                                  "<?xml version=\"1.0\" encoding=\"utf-16\"?>", "\xEF\xBB\xBF", ""}) {
    kDeviceHandler h;
    h.Deserialize(std::string(declaration) + "<R><LogId>caf\xC3\xA9 \xE2\x82\xAC</LogId></R>");
    EXPECT_EQ(h.LogId(), "caf\xC3\xA9 \xE2\x82\xAC") << declaration;
  }
}

TEST(DeviceHandlerReadTest, FirstOfRepeatedElementsCounts) {
  kDeviceHandler h;
  h.Deserialize(Doc("<Driver>A</Driver><Driver>B</Driver><Connection><Type>COM</Type></Connection>"
                    "<Connection><Type>bogus</Type></Connection>"));
  EXPECT_EQ(h.Driver(), "A");
  EXPECT_EQ(h.Connection().ConnectionType(), tkConnectionType::Com);
}

TEST(DeviceHandlerReadTest, ConnectionReadsOnlyTheFieldsOfItsType) {
  kConnection opos;
  opos.SetDeviceName("FP1");
  kConnection network;
  network.SetAddress("10.0.0.5");
  network.SetPort(8080);
  network.SetURL("/pay");
  network.SetAuthType(at_Digest);
  network.SetUser("till");
  network.SetPassword("secret");
  kConnection serial = network;
  serial.SetAddress("");
  serial.SetPort(0);
  serial.SetSerialPort("COM3");
  serial.SetSpeed(9600);
  serial.SetDataBits(8);
  serial.SetParity(tkParity::Even);
  serial.SetStopBits(1);
  kConnection dll;
  dll.SetLibraryName("vendor.dll");
  kConnection spool;
  spool.SetPrinterName("Receipts");
  kConnection com;

  const struct {
    const char* typeText;
    tkConnectionType type;
    kConnection* expected;
  } cases[] = {
      {"opos", tkConnectionType::OPOS, &opos},    {"TCP", tkConnectionType::TCP, &network},
      {"Http", tkConnectionType::HTTP, &network}, {"serial", tkConnectionType::Serial, &serial},
      {"DLL", tkConnectionType::DLL, &dll},       {"Spool", tkConnectionType::Spool, &spool},
      {"com", tkConnectionType::Com, &com},
  };
  for (const auto& c : cases) {
    kConnection expected = *c.expected;
    expected.SetConnectionType(c.type);
    expected.SetConnectTimeOut(2500);
    expected.SetReadTimeOut(4000);
    kDeviceHandler h;
    h.Deserialize(Doc(FullConnection(c.typeText)));
    EXPECT_EQ(Describe(h.Connection()), Describe(expected)) << c.typeText;
  }
}

TEST(DeviceHandlerReadTest, TimeoutsAboveZeroOnly) {
  const struct {
    const char* element;
    int32_t expected;
  } cases[] = {{"<ConnectTimeout>0</ConnectTimeout>", 1000},
               {"<ConnectTimeout>-1</ConnectTimeout>", 1000},
               {"<ConnectTimeout></ConnectTimeout>", 1000},
               {"", 1000},
               {"<ConnectTimeout>2500</ConnectTimeout>", 2500}};
  for (const auto& c : cases) {
    kDeviceHandler h;
    h.Deserialize(Doc(std::string("<Connection><Type>COM</Type>") + c.element + "</Connection>"));
    EXPECT_EQ(h.Connection().ConnectTimeOut(), c.expected) << c.element;
    EXPECT_EQ(h.Connection().ReadTimeOut(), 1000) << c.element;
  }
}

TEST(DeviceHandlerReadTest, ConnectTimeoutParameterOverridesTheConnection) {
  const struct {
    const char* parameter;
    int32_t expected;
  } cases[] = {{"3000", 3000}, {"0", 2500}, {"-4", 2500}, {"$10", 16}, {" 7", 7}};
  for (const auto& c : cases) {
    kDeviceHandler h;
    h.Deserialize(Doc("<Connection><Type>COM</Type><ConnectTimeout>2500</ConnectTimeout></Connection>"
                      "<Parameters><ConnectTimeout>" + std::string(c.parameter) + "</ConnectTimeout></Parameters>"));
    EXPECT_EQ(h.Connection().ConnectTimeOut(), c.expected) << c.parameter;
  }
  // Also without a Connection element, and whatever the letter case of the name.
  kDeviceHandler h;
  h.Deserialize(Doc("<Parameters><CONNECTTIMEOUT>1500</CONNECTTIMEOUT></Parameters>"));
  EXPECT_EQ(h.Connection().ConnectTimeOut(), 1500);
  EXPECT_EQ(h.Connection().ConnectionType(), tkConnectionType::OPOS);
}

TEST(DeviceHandlerReadTest, DeviceNameParameterAppliesToAnyConnection) {
  kDeviceHandler h;
  h.Deserialize(Doc(FullConnection("TCP") + "<Parameters><DeviceName>Printer9</DeviceName></Parameters>"));
  EXPECT_EQ(h.Connection().DeviceName(), "Printer9");
  EXPECT_EQ(h.Connection().Address(), "10.0.0.5");
}

TEST(DeviceHandlerReadTest, FaultsRaiseTheirMessages) {
  const struct {
    const char* label;
    std::string xml;
    std::string message;
  } cases[] = {
      {"no type", Doc("<Connection><ConnectTimeout>5</ConnectTimeout></Connection>"), "Connection Type  is not valid"},
      {"empty type", Doc("<Connection><Type></Type></Connection>"), "Connection Type  is not valid"},
      {"unknown type", Doc("<Connection><Type>Usb</Type></Connection>"), "Connection Type Usb is not valid"},
      {"serial without parity", Doc("<Connection><Type>SERIAL</Type></Connection>"),
       "Connection Parity  is not valid"},
      {"serial bad parity", Doc("<Connection><Type>SERIAL</Type><Parity>Mark</Parity></Connection>"),
       "Connection Parity Mark is not valid"},
      {"handle", Doc("<Handle>abc</Handle>"),
       "Error in processing node Handle as integer.\r\n'abc' is not a valid integer value"},
      {"handle trailing blank", Doc("<Handle>7 </Handle>"),
       "Error in processing node Handle as integer.\r\n'7 ' is not a valid integer value"},
      {"port", Doc("<Connection><Type>TCP</Type><Port>80a</Port></Connection>"),
       "Error in processing node Port as integer.\r\n'80a' is not a valid integer value"},
      {"read timeout", Doc("<Connection><Type>COM</Type><ReadTimeout>1s</ReadTimeout></Connection>"),
       "Error in processing node ReadTimeout as integer.\r\n'1s' is not a valid integer value"},
      {"element where text belongs", Doc("<Driver><X/></Driver>"),
       "Error in processing node Driver as string.\r\nElement \"Driver\" does not contain a single text node"},
      {"timeout parameter", Doc("<Parameters><ConnectTimeout>abc</ConnectTimeout></Parameters>"),
       "'abc' is not a valid integer value"},
      {"empty timeout parameter", Doc("<Parameters><ConnectTimeout/></Parameters>"), "'' is not a valid integer value"},
      {"timeout parameter with trailing blank", Doc("<Parameters><ConnectTimeout>9 </ConnectTimeout></Parameters>"),
       "'9 ' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    kDeviceHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(c.xml); }), c.message) << c.label;
  }
}

TEST(DeviceHandlerReadTest, FieldsOfOtherTypesAreNotConverted) {
  // A port that is no number does not matter on a connection that has no port.
  kDeviceHandler h;
  h.Deserialize(Doc("<Connection><Type>COM</Type><Port>80a</Port><Parity>Mark</Parity></Connection>"));
  EXPECT_EQ(h.Connection().ConnectionType(), tkConnectionType::Com);
}

TEST(DeviceHandlerReadTest, TextThatIsNoDocumentFails) {
  for (const char* xml : {"", "not xml", "<R><Driver>X</R>", "<R>"}) {
    kDeviceHandler h;
    const std::string message = ErrorOf([&] { h.Deserialize(xml); });
    EXPECT_NE(message, "<no error>") << xml;
    EXPECT_FALSE(message.empty()) << xml;
    EXPECT_EQ(h.Driver(), "") << xml;
  }
}

TEST(DeviceHandlerReadTest, ValuesReadBeforeAFaultAreKept) {
  kDeviceHandler h;
  EXPECT_NE(ErrorOf([&] {
              h.Deserialize(Doc("<Driver>VELO_VIROZI_10</Driver><LogId>4</LogId>"
                                "<Connection><Type>TCP</Type><ConnectTimeout>2500</ConnectTimeout>"
                                "<Address>a</Address><Port>x</Port></Connection>"));
            }),
            "<no error>");
  EXPECT_EQ(h.Driver(), "VELO_VIROZI_10");
  EXPECT_EQ(h.LogId(), "4");
  EXPECT_EQ(h.Connection().ConnectionType(), tkConnectionType::TCP);
  EXPECT_EQ(h.Connection().ConnectTimeOut(), 2500);
  EXPECT_EQ(h.Connection().Address(), "a");
}

// ---- parameters ---------------------------------------------------------------------------

TEST(DeviceHandlerParametersTest, LinesInDocumentOrderWithLowerCaseNames) {
  kDeviceHandler h;
  h.Deserialize(Doc("<Parameters><HexLog>true</HexLog><!-- note -->stray<DeviceName>P</DeviceName>"
                    "<hexlog>no</hexlog><HexLog>false</HexLog><Empty/><Url>a=b</Url></Parameters>"));
  // Element names differ by case, so hexlog has its own text; a name that is repeated
  // exactly carries the text of its first element.
  EXPECT_EQ(h.Parameters(), (std::vector<std::string>{"hexlog=true", "devicename=P", "hexlog=no", "hexlog=true",
                                                       "empty=", "url=a=b"}));
  EXPECT_EQ(h.GetParameter("HEXLOG"), "true");
  EXPECT_EQ(h.GetParameter("url"), "a=b");
  EXPECT_TRUE(h.ParameterExists("Empty"));
  EXPECT_EQ(h.GetParameter("Empty"), "");
  EXPECT_FALSE(h.ParameterExists("Missing"));
  EXPECT_EQ(h.GetParameter("Missing"), "");
  EXPECT_FALSE(h.ParameterExists("hex"));
}

TEST(DeviceHandlerParametersTest, SetParameterReplacesAppendsAndDeletes) {
  kDeviceHandler h;
  h.Deserialize(Doc("<Parameters><A>1</A><B>2</B><a>3</a></Parameters>"));
  ASSERT_EQ(h.Parameters(), (std::vector<std::string>{"a=1", "b=2", "a=3"}));

  h.SetParameter("A", "9");  // the first line of that name, its name unchanged
  EXPECT_EQ(h.Parameters(), (std::vector<std::string>{"a=9", "b=2", "a=3"}));
  h.SetParameter("NewOne", "x");  // appended with the name as given
  EXPECT_EQ(h.Parameters(), (std::vector<std::string>{"a=9", "b=2", "a=3", "NewOne=x"}));
  h.SetParameter("a", "");  // deletes the first only
  EXPECT_EQ(h.Parameters(), (std::vector<std::string>{"b=2", "a=3", "NewOne=x"}));
  EXPECT_EQ(h.GetParameter("A"), "3");
  h.SetParameter("absent", "");
  EXPECT_EQ(h.Parameters(), (std::vector<std::string>{"b=2", "a=3", "NewOne=x"}));
}

TEST(DeviceHandlerParametersTest, SecondDeserializeAppendsParameters) {
  kDeviceHandler h;
  h.Deserialize(Doc("<Parameters><A>1</A></Parameters>"));
  h.Deserialize(Doc("<Parameters><A>2</A></Parameters>"));
  EXPECT_EQ(h.Parameters(), (std::vector<std::string>{"a=1", "a=2"}));
  EXPECT_EQ(h.GetParameter("a"), "1");
}

// ---- writing --------------------------------------------------------------------------------

std::vector<std::string> ChildNames(pugi::xml_node aNode) {
  std::vector<std::string> names;
  for (pugi::xml_node c : aNode.children()) names.push_back(c.name());
  return names;
}

TEST(DeviceHandlerWriteTest, DocumentLayout) {
  kDeviceHandler h;
  h.Deserialize(Doc("<Type>EFT</Type><Driver>VELO_VIROZI_10</Driver><Method>PAY</Method><Handle>7</Handle>"
                    "<LogId>2</LogId>" + FullConnection("TCP") +
                    "<Parameters><HexLog>true</HexLog><Mode>x y</Mode></Parameters>"));
  const std::string xml = h.Serialize();
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << xml;

  pugi::xml_document doc;
  const pugi::xml_node root = devtest::Load(doc, xml);
  EXPECT_STREQ(root.name(), "ReceiptPrinterManager");
  EXPECT_STREQ(root.attribute("Version").value(), "1.0");
  EXPECT_EQ(ChildNames(root),
            (std::vector<std::string>{"Type", "Driver", "Method", "LogId", "Handle", "Connection", "Parameters"}));
  EXPECT_STREQ(root.child_value("Handle"), "7");
  const pugi::xml_node connection = root.child("Connection");
  EXPECT_EQ(ChildNames(connection),
            (std::vector<std::string>{"Type", "ConnectTimeout", "ReadTimeout", "Address", "Port", "URL", "AuthType",
                                      "User", "Password", "SerialPort", "Speed", "DataBits", "Parity", "StopBits",
                                      "DeviceName", "LibraryName", "PrinterName"}));
  // Every field whatever the type, in the texts the reader accepts.
  EXPECT_STREQ(connection.child_value("Type"), "TCP");
  EXPECT_STREQ(connection.child_value("AuthType"), "DIGEST");
  EXPECT_STREQ(connection.child_value("Parity"), "NONE");
  EXPECT_STREQ(connection.child_value("Speed"), "0");
  EXPECT_STREQ(connection.child_value("SerialPort"), "");
  EXPECT_STREQ(connection.child_value("ConnectTimeout"), "2500");
  EXPECT_EQ(ChildNames(root.child("Parameters")), (std::vector<std::string>{"hexlog", "mode"}));
  EXPECT_STREQ(root.child("Parameters").child_value("mode"), "x y");
}

TEST(DeviceHandlerWriteTest, HandleOnlyWhenTheMethodIsNotOpen) {
  const struct {
    const char* method;
    bool handle;
  } cases[] = {{"Open", false}, {"OPEN", false}, {"open", false}, {"PAY", true}, {"", true}, {"Open ", true}};
  for (const auto& c : cases) {
    kDeviceHandler h;
    h.SetMethod(c.method);
    h.SetDeviceHandle(5);
    pugi::xml_document doc;
    const pugi::xml_node root = devtest::Load(doc, h.Serialize());
    EXPECT_EQ(static_cast<bool>(root.child("Handle")), c.handle) << '"' << c.method << '"';
  }
}

TEST(DeviceHandlerWriteTest, RoundTripKeepsTheFieldsOfEachType) {
  for (const char* type : {"OPOS", "TCP", "HTTP", "SERIAL", "DLL", "COM", "SPOOL"}) {
    kDeviceHandler first;
    first.Deserialize(Doc("<Type>T</Type><Driver>VELO_VIROZI_10</Driver><Method>PAY</Method>"
                          "<Handle>12</Handle><LogId>\xC3\xA9&amp;1</LogId>" + FullConnection(type) +
                          "<Parameters><HexLog>TRUE</HexLog><Extra>&lt;v&gt;</Extra></Parameters>"));
    kDeviceHandler second;
    second.Deserialize(first.Serialize());
    EXPECT_EQ(second.Type(), "T");
    EXPECT_EQ(second.Driver(), "VELO_VIROZI_10");
    EXPECT_EQ(second.Method(), "PAY");
    EXPECT_EQ(second.DeviceHandle(), 12);
    EXPECT_EQ(second.LogId(), "\xC3\xA9&1");
    EXPECT_EQ(Describe(second.Connection()), Describe(first.Connection())) << type;
    EXPECT_EQ(second.Parameters(), first.Parameters()) << type;
  }
}

TEST(DeviceHandlerWriteTest, ParameterNamesComeBackLowerCased) {
  kDeviceHandler first;
  first.SetParameter("HexLog", "true");
  kDeviceHandler second;
  second.Deserialize(first.Serialize());
  EXPECT_EQ(second.Parameters(), std::vector<std::string>{"hexlog=true"});
}

}  // namespace
