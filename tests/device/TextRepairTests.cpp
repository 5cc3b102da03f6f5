// Code-page repair of document texts, and printable receipt text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/Text.h"
#include "device/krptUtil.h"
#include "platform/Platform.h"
#include "TestXml.h"

using devtest::Load;

namespace {

// The texts below are Greek written in Windows-1253 and read back as Windows-1252.
const std::string kGreek = "\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1";     // Καλημέρα
const std::string kMojibake = "\u00CA\u00E1\u00EB\u00E7\u00EC\u00DD\u00F1\u00E1";  // ÊáëçìÝñá

#define REQUIRE_ANSI_1252()                                                                \
  if (platform::AnsiCodePage() != 1252)                                                    \
  GTEST_SKIP() << "expects the ANSI code page 1252, this system has "                      \
               << platform::AnsiCodePage()

// ---- the code-page round trip --------------------------------------------------------

TEST(ReencodeAnsiText, GreekReadAsWestern) {
  REQUIRE_ANSI_1252();
  // In 1253 the Greek letters fill 0xC0..0xFE in Unicode order (0xD2 is unused); in 1252
  // those bytes are U+00C0..U+00FE, so each letter's mojibake is the byte itself.
  std::u16string greek, mojibake;
  for (char16_t b = 0xC0; b <= 0xFE; ++b) {
    if (b == 0xD2) continue;
    greek += static_cast<char16_t>(0x0390 + (b - 0xC0));
    mojibake += b;
  }
  // Accented capitals and signs in the upper half, and the euro sign at 0x80 in both.
  const struct { char16_t fByte, fGreek; } others[] = {
      {0xA1, 0x0385}, {0xA2, 0x0386}, {0xAF, 0x2015}, {0xB4, 0x0384}, {0xB8, 0x0388},
      {0xB9, 0x0389}, {0xBA, 0x038A}, {0xBC, 0x038C}, {0xBE, 0x038E}, {0xBF, 0x038F},
      {0xA3, 0x00A3}, {0xB1, 0x00B1}, {0x20AC, 0x20AC},
  };
  for (const auto& o : others) {
    mojibake += o.fByte;
    greek += o.fGreek;
  }
  EXPECT_EQ(platform::ReencodeAnsiText(Utf16ToUtf8(mojibake), 1253), Utf16ToUtf8(greek));
  EXPECT_EQ(platform::ReencodeAnsiText(kMojibake, 1253), kGreek);
}

TEST(ReencodeAnsiText, SameCodePageKeepsWhatItCanHold) {
  REQUIRE_ANSI_1252();
  const std::string western = "plain ASCII \t\r\n~ \u00E0\u00E9\u00EE\u00F5\u00FC\u00DF \u20AC\u2026\u0160\u0178";
  EXPECT_EQ(platform::ReencodeAnsiText(western, 0), western);
  EXPECT_EQ(platform::ReencodeAnsiText(western, 1252), western);
  EXPECT_EQ(platform::ReencodeAnsiText("", 0), "");
  // Outside the code page: one '?' per UTF-16 unit, as Windows does.
  EXPECT_EQ(platform::ReencodeAnsiText("a\U0001F600b", 0), "a??b");
  EXPECT_EQ(platform::ReencodeAnsiText("\u4E2D", 0), "?");
}

TEST(ReencodeAnsiText, BytesUnusedInGreekComeBackAsWindowsGivesThem) {
  REQUIRE_ANSI_1252();
  // 0x8A is Š in 1252 and unused in 1253; 0xAA (ª) and 0xD2 (Ò) too.
  EXPECT_EQ(platform::ReencodeAnsiText("\u0160", 1253), "\u008A");
  EXPECT_EQ(platform::ReencodeAnsiText("\u00AA\u00D2\u00FF", 1253), "\uF8F9\uF8FA\uF8FB");
}

TEST(ReencodeAnsiText, UnknownCodePageRaises) {
  EXPECT_THROW(platform::ReencodeAnsiText("abc", 99999), EMxError);
}

// ---- ChangeXMLEncoding ---------------------------------------------------------------

TEST(ChangeXMLEncoding, GreekCharsetRepairsAnyCaseOtherCharsetsKeepTheText) {
  REQUIRE_ANSI_1252();
  struct Case {
    const char* fCharset;
    bool fRepairs;
  };
  const Case cases[] = {{"gr", true},   {"GR", true},   {"Gr", true},  {"it", false},
                        {"", false},    {" gr", false}, {"gre", false}, {"el", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fCharset);
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, "<R><V>" + kMojibake + "</V></R>");
    krptUtil::ChangeXMLEncoding(doc, c.fCharset);
    EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "V"), c.fRepairs ? kGreek : kMojibake);
  }
}

TEST(ChangeXMLEncoding, TouchesTextsBelowTheNodeOnly) {
  REQUIRE_ANSI_1252();
  const std::string xml = "<R a=\"" + kMojibake + "\"><A>" + kMojibake + "</A><B><C>" + kMojibake +
                          "</C><D><![CDATA[" + kMojibake + "]]></D><E/></B><F>" + kMojibake +
                          "</F></R>";
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, xml);
  pugi::xml_node b = root.child("B");

  krptUtil::ChangeXMLEncoding(b, "gr");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(b, "C"), kGreek);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(b, "D"), kGreek);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(b, "E"), "");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "A"), kMojibake);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "F"), kMojibake);

  // A text node on its own.
  krptUtil::ChangeXMLEncoding(root.child("A").first_child(), "gr");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "A"), kGreek);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "F"), kMojibake);

  // The whole document; attributes are not texts of the tree.
  krptUtil::ChangeXMLEncoding(doc, "gr");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "F"), kGreek);
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(root, "a"), kMojibake);
  EXPECT_EQ(std::string(root.child("B").child("D").first_child().name()), "");
  EXPECT_EQ(root.child("B").child("D").first_child().type(), pugi::node_cdata);
}

TEST(ChangeXMLEncoding, RepairsTextsHeldByTheirElements) {
  REQUIRE_ANSI_1252();
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><A>" + kMojibake + "</A><B><C>" + kMojibake + "</C></B></R>",
                             pugi::parse_default | pugi::parse_embed_pcdata);
  ASSERT_FALSE(root.child("A").first_child());  // the text is the element's own
  krptUtil::ChangeXMLEncoding(root.child("B"), "gr");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root.child("B"), "C"), kGreek);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "A"), kMojibake);
  krptUtil::ChangeXMLEncoding(doc, "gr");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "A"), kGreek);
}

TEST(ChangeXMLEncoding, EmptyElementAndNullNodeAreLeftAlone) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R/>");
  krptUtil::ChangeXMLEncoding(root, "gr");
  krptUtil::ChangeXMLEncoding(pugi::xml_node(), "gr");
  EXPECT_FALSE(root.first_child());
}

TEST(ChangeXMLEncoding, DeepDocumentIsWalkedWithoutRecursion) {
  REQUIRE_ANSI_1252();
  constexpr int kDepth = 100000;
  std::string xml = "<R>";
  for (int i = 0; i < kDepth; ++i) xml += "<a>";
  xml += kMojibake;
  for (int i = 0; i < kDepth; ++i) xml += "</a>";
  xml += "<Z>" + kMojibake + "</Z></R>";
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, xml);
  krptUtil::ChangeXMLEncoding(doc, "GR");

  pugi::xml_node deepest = root;
  for (int i = 0; i < kDepth; ++i) deepest = deepest.first_child();
  EXPECT_EQ(std::string(deepest.name()), "a");
  EXPECT_EQ(std::string(deepest.first_child().value()), kGreek);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "Z"), kGreek);
}

TEST(ChangeXMLEncoding, HugeTextIsConvertedWhole) {
  REQUIRE_ANSI_1252();
  std::string big;
  for (int i = 0; i < 700000; ++i) big += kMojibake;  // about 11 MB
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><V>" + big + "</V></R>");
  krptUtil::ChangeXMLEncoding(root, "gr");
  const std::string repaired = krptUtil::GetNodeValueAsString(root, "V");
  ASSERT_EQ(repaired.size(), big.size());  // same number of two-byte characters
  EXPECT_EQ(repaired.substr(0, kGreek.size()), kGreek);
  EXPECT_EQ(repaired.substr(repaired.size() - kGreek.size()), kGreek);
  EXPECT_EQ(repaired.find("\u00E1"), std::string::npos);
}

// ---- NormalizeText -------------------------------------------------------------------

TEST(NormalizeText, ThreePasses) {
  struct Case {
    std::string fIn, fOut;
  };
  const Case cases[] = {
      {"TOTALE \u20AC 12,50 \u00E8 dovuto", "TOT. E 12,50   dovuto"},
      {"\u00C0\u00D9\u00C8\u00C9\u00D2\u00D6\u00C7\u00CF\u00CC\u20AC", "AUEEOOCIIE"},
      // Other capitals and every lower-case accent become one blank each.
      {"\u00C1\u00E0\u00E8\u00E9\u00EC\u00F2\u00F9|", "       |"},
      {"SUBTOTALE totale TOTALETOTALE", "SUBTOT. totale TOT.TOT."},
      // Pass 1 runs first, so a letter it plains can complete the word of pass 2.
      {"TOTAL\u00C8", "TOT."},
      {"a\tb\r\nc\x01" "d\x7F" "e ~", "a b  c d\x7F" "e ~"},
      {std::string("x\0y", 3), "x y"},
      {"\U0001F600!", " !"},
      {"\u4E2D\u6587", "  "},
      // Bytes that start no character count one each.
      {"\xFF\xC3|\xE2\x82|\xED\xA0\x80", "  |  |   "},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fIn);
    EXPECT_EQ(krptUtil::NormalizeText(c.fIn), c.fOut);
  }
}

TEST(NormalizeText, LargeTextKeepsItsLength) {
  std::string in;
  for (int i = 0; i < 200000; ++i) in += "TOTALE \u00C8\u00E8 ";
  const std::string out = krptUtil::NormalizeText(in);
  std::string expected;
  for (int i = 0; i < 200000; ++i) expected += "TOT. E  ";
  EXPECT_EQ(out, expected);
}

}  // namespace
