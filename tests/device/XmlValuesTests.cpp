// Typed getters over child elements: text rules, conversions, error wrapping.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/krptUtil.h"
#include "TestXml.h"

using devtest::ErrorOf;
using devtest::Load;

namespace {

const std::string kNotSingleText = "Element \"V\" does not contain a single text node";

// An element's text as a node of its own, and as the element's value: the parser keeps a
// text that opens an element in the element itself when asked to.
const unsigned kTextStorage[] = {pugi::parse_default, pugi::parse_default | pugi::parse_embed_pcdata};

std::string StorageName(unsigned aOptions) { return aOptions == pugi::parse_default ? "" : ", text in the element"; }

std::string Prefix(const char* aKind) {
  return std::string("Error in processing node V as ") + aKind + ".\r\n";
}

// Each getter reduced to "read V from the root, report the failure message".
struct Getter {
  const char* fKind;
  std::function<void(pugi::xml_node)> fRead;
};

const std::vector<Getter>& AllGetters() {
  static const std::vector<Getter> getters = {
      {"string", [](pugi::xml_node r) { krptUtil::GetNodeValueAsString(r, "V"); }},
      {"integer", [](pugi::xml_node r) { krptUtil::GetNodeValueAsInteger(r, "V"); }},
      {"currency", [](pugi::xml_node r) { krptUtil::GetNodeValueAsCurrency(r, "V"); }},
      {"boolean", [](pugi::xml_node r) { krptUtil::GetNodeValueAsBoolean(r, "V", true); }},
      {"date", [](pugi::xml_node r) { krptUtil::GetNodeValueAsDate(r, "V"); }},
      {"datetime", [](pugi::xml_node r) { krptUtil::GetNodeValueAsDateTime(r, "V"); }},
  };
  return getters;
}

// ---- what counts as the text of an element ------------------------------------------

TEST(ElementText, StringGetterFollowsTheTextRules) {
  struct Case {
    const char* fName;
    const char* fBody;  // children of the root
    std::string fExpected;
  };
  const Case cases[] = {
      {"absent", "<Other>x</Other>", ""},
      {"self-closing", "<V/>", ""},
      {"open and close", "<V></V>", ""},
      {"empty CDATA", "<V><![CDATA[]]></V>", ""},
      {"blanks kept", "<V>  a  b  </V>", "  a  b  "},
      {"entities resolved", "<V>a&amp;b&lt;c&#x20AC;</V>", "a&b<c\u20AC"},
      {"CDATA alone", "<V><![CDATA[<x>&amp;]]></V>", "<x>&amp;"},
      {"first of two", "<V>first</V><V>second</V>", "first"},
      {"names are case-sensitive", "<v>lower</v><VV>x</VV>", ""},
      {"found after other elements", "<A>1</A><B><V>nested</V></B><V>direct</V>", "direct"},
  };
  for (const unsigned options : kTextStorage) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.fName + StorageName(options));
      pugi::xml_document doc;
      pugi::xml_node root = Load(doc, std::string("<R>") + c.fBody + "</R>", options);
      EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "V"), c.fExpected);
    }
  }
}

TEST(ElementText, ContentOtherThanOneTextFailsInEveryGetter) {
  const char* bodies[] = {
      "<V><A/></V>",
      "<V>12<A/></V>",
      "<V><A>12</A></V>",
      "<V>1<![CDATA[2]]></V>",
      "<V><![CDATA[1]]><![CDATA[2]]></V>",
      "<V><A/></V><V>12</V>",  // the first one counts, even when a later one is fine
      "<V>1<A/>2</V>",
      "<V><A/>2</V>",
  };
  for (const unsigned options : kTextStorage) {
    for (const char* body : bodies) {
      pugi::xml_document doc;
      pugi::xml_node root = Load(doc, std::string("<R>") + body + "</R>", options);
      for (const Getter& g : AllGetters()) {
        SCOPED_TRACE(body + std::string(" as ") + g.fKind + StorageName(options));
        EXPECT_EQ(ErrorOf([&] { g.fRead(root); }), Prefix(g.fKind) + kNotSingleText);
      }
    }
  }
}

TEST(ElementText, CommentsAndInstructionsKeptByTheParserAreNotText) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><?V pi?><V>12<!-- note --></V></R>",
                             pugi::parse_default | pugi::parse_pi | pugi::parse_comments);
  // The instruction named V is skipped; the element V holds a text and a comment.
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsInteger(root, "V"); }),
            Prefix("integer") + kNotSingleText);

  pugi::xml_document doc2;
  pugi::xml_node root2 = Load(doc2, "<R><?V pi?><V>12</V></R>", pugi::parse_default | pugi::parse_pi);
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(root2, "V"), 12);
  EXPECT_TRUE(krptUtil::HasNode(root2, "V"));
  EXPECT_FALSE(krptUtil::HasNode(root2, "pi"));
}

TEST(ElementText, AbsentChildGivesEachGettersDefault) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><v>1</v><Other><V>1</V></Other></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "V"), "");
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(root, "V"), 0);
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(root, "V"), Currency());
  EXPECT_TRUE(krptUtil::GetNodeValueAsBoolean(root, "V", true));
  EXPECT_FALSE(krptUtil::GetNodeValueAsBoolean(root, "V", false));
  EXPECT_EQ(krptUtil::GetNodeValueAsDate(root, "V"), 0.0);
  EXPECT_EQ(krptUtil::GetNodeValueAsDateTime(root, "V"), 0.0);
  EXPECT_EQ(krptUtil::TryGetNodeValueAsDateTime(root, "V"), 0.0);
  // A null node behaves as a node without children.
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(pugi::xml_node(), "V"), 0);
  EXPECT_FALSE(krptUtil::HasNode(pugi::xml_node(), "V"));
}

TEST(ElementText, HasNodeLooksAtDirectChildElementsByExactName) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><Empty/><Full><X/></Full><Deep><Inner/></Deep>text</R>");
  EXPECT_TRUE(krptUtil::HasNode(root, "Empty"));
  EXPECT_TRUE(krptUtil::HasNode(root, "Full"));
  EXPECT_FALSE(krptUtil::HasNode(root, "Inner"));
  EXPECT_FALSE(krptUtil::HasNode(root, "empty"));
  EXPECT_FALSE(krptUtil::HasNode(root, "Emp"));
  EXPECT_FALSE(krptUtil::HasNode(root, ""));
  EXPECT_FALSE(krptUtil::HasNode(root, std::string_view("Empty\0x", 7)));
}

// ---- integer ------------------------------------------------------------------------

TEST(IntegerValue, ConvertsLikeStrToInt) {
  struct Case {
    const char* fText;
    std::optional<int32_t> fValue;  // nullopt: not a valid integer
  };
  const Case cases[] = {
      {"42", 42}, {"  7", 7}, {"+5", 5}, {"-5", -5}, {"007", 7}, {"-0", 0},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
      {"00000000002147483647", INT32_MAX},
      {"$10", 16}, {"x1F", 31}, {"X1f", 31}, {"0x10", 16}, {"0X10", 16}, {"-$10", -16},
      {"  $a", 10}, {"$000000010", 16}, {"$7FFFFFFF", INT32_MAX},
      // Hex takes a 32-bit pattern read as two's complement.
      {"$FFFFFFFF", -1}, {"$80000000", INT32_MIN}, {"-$80000000", INT32_MIN},
      {"7 ", std::nullopt}, {"80a", std::nullopt}, {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt}, {"99999999999999999999", std::nullopt},
      {"$100000000", std::nullopt}, {"$", std::nullopt}, {"0x", std::nullopt},
      {"x", std::nullopt}, {"-", std::nullopt}, {"+", std::nullopt}, {"- 5", std::nullopt},
      {"1.0", std::nullopt}, {"1e3", std::nullopt}, {"&#9;7", std::nullopt},
      {"$G", std::nullopt}, {"--5", std::nullopt}, {"$-1", std::nullopt}, {"1,000", std::nullopt},
      {"<![CDATA[   ]]>", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fText);
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, std::string("<R><V>") + c.fText + "</V></R>");
    if (c.fValue) {
      EXPECT_EQ(krptUtil::GetNodeValueAsInteger(root, "V"), *c.fValue);
    } else {
      std::string text = krptUtil::GetNodeValueAsString(root, "V");
      EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsInteger(root, "V"); }),
                Prefix("integer") + "'" + text + "' is not a valid integer value");
    }
  }
}

TEST(IntegerValue, EmptyElementIsZeroAndMessageNamesTheNode) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><Handle/><Port>80a</Port></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(root, "Handle"), 0);
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsInteger(root, "Port"); }),
            "Error in processing node Port as integer.\r\n'80a' is not a valid integer value");
}

// ---- currency -----------------------------------------------------------------------

TEST(CurrencyValue, ParsesWithPointWhateverTheLocale) {
  struct Case {
    const char* fText;
    std::optional<int64_t> fRaw;  // ten-thousandths; nullopt: error
  };
  const Case cases[] = {
      {"12.50", 125000}, {"12", 120000}, {" 12.5 ", 125000}, {"1.5E2", 1500000},
      {"-3.25", -32500}, {".5", 5000}, {"0.00005", 0}, {"0.00015", 2}, {"0.00025", 2},
      {"12,50", std::nullopt}, {"1,234.50", std::nullopt}, {"abc", std::nullopt},
      {"$10", std::nullopt}, {"1.5.0", std::nullopt}, {"<![CDATA[ ]]>", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fText);
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, std::string("<R><V>") + c.fText + "</V></R>");
    if (c.fRaw) {
      EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(root, "V").Raw(), *c.fRaw);
    } else {
      std::string text = krptUtil::GetNodeValueAsString(root, "V");
      EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsCurrency(root, "V"); }),
                Prefix("currency") + "'" + text + "' is not a valid floating point value");
    }
  }
}

TEST(CurrencyValue, EmptyElementIsZero) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><Amount></Amount></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(root, "Amount"), Currency());
}

// ---- boolean ------------------------------------------------------------------------

TEST(BooleanValue, NumbersThenTrueAndFalseWords) {
  struct Case {
    const char* fBody;
    std::optional<bool> fValue;  // nullopt: error
  };
  const Case cases[] = {
      {"<V>TRUE</V>", true}, {"<V>true</V>", true}, {"<V>False</V>", false},
      {"<V>fAlSe</V>", false}, {"<V>0</V>", false}, {"<V>1</V>", true}, {"<V>-1</V>", true},
      {"<V>0.0</V>", false}, {"<V>0.001</V>", true}, {"<V>2.5</V>", true}, {"<V>1E3</V>", true},
      {"<V>0E5</V>", false}, {"<V> 1 </V>", true}, {"<V>.0</V>", false},
      {"<V>yes</V>", std::nullopt}, {"<V>1,5</V>", std::nullopt}, {"<V>True </V>", std::nullopt},
      {"<V>1E</V>", std::nullopt}, {"<V>T</V>", std::nullopt}, {"<V>.</V>", std::nullopt},
      {"<V/>", std::nullopt}, {"<V><![CDATA[]]></V>", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fBody);
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, std::string("<R>") + c.fBody + "</R>");
    if (c.fValue) {
      // Both defaults, so a default leaking through would show.
      EXPECT_EQ(krptUtil::GetNodeValueAsBoolean(root, "V", true), *c.fValue);
      EXPECT_EQ(krptUtil::GetNodeValueAsBoolean(root, "V", false), *c.fValue);
    } else {
      std::string text = krptUtil::GetNodeValueAsString(root, "V");
      EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsBoolean(root, "V", true); }),
                Prefix("boolean") + "'" + text + "' is not a valid boolean value");
    }
  }
}

TEST(BooleanValue, EmptyElementFailsInsteadOfTakingTheDefault) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><TokenizeCard/></R>");
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsBoolean(root, "TokenizeCard", false); }),
            "Error in processing node TokenizeCard as boolean.\r\n'' is not a valid boolean value");
}

// ---- dates --------------------------------------------------------------------------

constexpr double kJan31_2025 = 45688.0;  // days since 1899-12-30
constexpr double kOneMs = 1.0 / 86400000.0;

double TimeOfDay(int h, int m, int s, int ms) {
  return ((h * 3600.0 + m * 60.0 + s) * 1000.0 + ms) / 86400000.0;
}

TEST(DateValue, ReadsTheDatePartOnly) {
  struct Case {
    const char* fText;
    std::optional<double> fValue;
  };
  const Case cases[] = {
      {"2025-01-31", kJan31_2025},
      {"2025/01/31", kJan31_2025},
      {"2025-01-31T09:15:02", kJan31_2025},
      {"yesterday", std::nullopt},
      {"2025-02-30", std::nullopt},
      {"2025", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fText);
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, std::string("<R><V>") + c.fText + "</V></R>");
    if (c.fValue) {
      EXPECT_NEAR(krptUtil::GetNodeValueAsDate(root, "V"), *c.fValue, kOneMs / 2);
    } else {
      EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsDate(root, "V"); }),
                Prefix("date") + "Date Format invalid: [" + c.fText + "]");
    }
  }
}

TEST(DateValue, EmptyElementIsAnInvalidDate) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><V/></R>");
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsDate(root, "V"); }),
            Prefix("date") + "Date Format invalid: []");
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsDateTime(root, "V"); }),
            Prefix("datetime") + "DateTime Format invalid: []");
}

TEST(DateTimeValue, GetAndTryGet) {
  struct Case {
    const char* fText;
    std::optional<double> fValue;
  };
  const Case cases[] = {
      {"2025-01-31T09:15:02", kJan31_2025 + TimeOfDay(9, 15, 2, 0)},
      {"2025-01-31T09:15:02.007", kJan31_2025 + TimeOfDay(9, 15, 2, 7)},
      {"2025-01-31 23:59:59.999", kJan31_2025 + TimeOfDay(23, 59, 59, 999)},
      {"2025-01-31", std::nullopt},
      {"yesterday", std::nullopt},
      {"2025-01-31T25:00:00", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fText);
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, std::string("<R><V>") + c.fText + "</V></R>");
    if (c.fValue) {
      EXPECT_NEAR(krptUtil::GetNodeValueAsDateTime(root, "V"), *c.fValue, kOneMs / 2);
      EXPECT_NEAR(krptUtil::TryGetNodeValueAsDateTime(root, "V"), *c.fValue, kOneMs / 2);
    } else {
      EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsDateTime(root, "V"); }),
                Prefix("datetime") + "DateTime Format invalid: [" + c.fText + "]");
      EXPECT_EQ(krptUtil::TryGetNodeValueAsDateTime(root, "V"), 0.0);
    }
  }
}

TEST(DateTimeValue, TryGetSwallowsContentErrorsToo) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><V><A/></V></R>");
  EXPECT_EQ(krptUtil::TryGetNodeValueAsDateTime(root, "V"), 0.0);
}

// ---- first of several ----------------------------------------------------------------

TEST(SeveralChildren, EveryGetterReadsTheFirst) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc,
                             "<R><Type>7</Type><Type>x</Type>"
                             "<Flag>0</Flag><Flag>1</Flag>"
                             "<Amount>1.5</Amount><Amount>bad</Amount>"
                             "<When>2025-01-31T09:15:02</When><When>never</When></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "Type"), "7");
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(root, "Type"), 7);
  EXPECT_FALSE(krptUtil::GetNodeValueAsBoolean(root, "Flag", true));
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(root, "Amount").Raw(), 15000);
  EXPECT_NEAR(krptUtil::GetNodeValueAsDate(root, "When"), kJan31_2025, kOneMs / 2);
  EXPECT_NEAR(krptUtil::GetNodeValueAsDateTime(root, "When"), kJan31_2025 + TimeOfDay(9, 15, 2, 0),
              kOneMs / 2);
}

// ---- the index of an element's children ------------------------------------------------

// The index answers as the walk over the children does, for any mix of names.
TEST(ChildIndex, FindsWhatTheWalkFinds) {
  std::string many = "<R>";
  for (int i = 0; i < 300; ++i) {
    const std::string name = "N" + std::to_string((i * 37) % 101);  // repeats, out of order
    many += "<" + name + ">" + std::to_string(i) + "</" + name + ">";
  }
  many += "</R>";
  const std::string documents[] = {
      "<R/>",
      "<R>text only</R>",
      "<R><?V pi?><V>1</V><V>2</V><v>3</v><VV>4</VV><Va>5</Va><W/></R>",
      "<R><B>1</B><A>2</A><B>3</B><AB>4</AB><A><A>5</A></A></R>",
      many,
  };
  const std::vector<std::string> names = {"V", "v", "VV", "Va", "W", "A", "B", "AB", "",
                                          "N0", "N36", "N100", "N101", "pi", "R"};
  for (const std::string& xml : documents) {
    pugi::xml_document doc;
    pugi::xml_node root = Load(doc, xml, pugi::parse_default | pugi::parse_pi);
    const krptUtil::tkChildElements index(root);
    for (const std::string& name : names) {
      SCOPED_TRACE(xml.substr(0, 60) + " / " + name);
      EXPECT_EQ(index.Find(name), krptUtil::FindChildElement(root, name));
    }
    EXPECT_EQ(index.Find(std::string_view("V\0x", 3)), pugi::xml_node());
  }
}

TEST(ChildIndex, GettersReadThroughItAsThroughTheElement) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc,
                             "<R><Type>7</Type><Type>x</Type><Flag>0</Flag>"
                             "<Amount>1.5</Amount><Bad><A/></Bad></R>");
  const krptUtil::tkChildElements index(root);
  EXPECT_EQ(krptUtil::GetNodeValueAsString(index, "Type"), "7");
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(index, "Type"), 7);
  EXPECT_FALSE(krptUtil::GetNodeValueAsBoolean(index, "Flag", true));
  EXPECT_TRUE(krptUtil::GetNodeValueAsBoolean(index, "Missing", true));
  EXPECT_EQ(krptUtil::GetNodeValueAsCurrency(index, "Amount").Raw(), 15000);
  EXPECT_TRUE(krptUtil::HasNode(index, "Bad"));
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsString(index, "Bad"); }),
            ErrorOf([&] { krptUtil::GetNodeValueAsString(root, "Bad"); }));
}

// ---- attributes and building ---------------------------------------------------------

TEST(Attributes, ReadByExactName) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R id=\"12\" empty=\"\" amp=\"a&amp;b\"/>");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(root, "id"), "12");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(root, "amp"), "a&b");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(root, "empty"), "");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(root, "ID"), "");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(root, "missing"), "");
  EXPECT_EQ(krptUtil::GetAttributeValueAsString(pugi::xml_node(), "id"), "");
}

TEST(AddNode, AppendsLastAndSurvivesWritingAndReading) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><First>1</First></R>");
  pugi::xml_node added = krptUtil::AddNode(root, "Note", "a<b & \"c\" \u20AC");
  krptUtil::AddNode(root, "Empty", "");
  krptUtil::AddNode(root, "Handle", "42");
  EXPECT_EQ(added.parent(), root);
  EXPECT_EQ(std::string(root.last_child().name()), "Handle");
  EXPECT_EQ(std::string(root.first_child().name()), "First");
  EXPECT_EQ(std::string(added.previous_sibling().name()), "First");

  std::ostringstream out;
  doc.save(out);
  pugi::xml_document reread;
  pugi::xml_node r = Load(reread, out.str());
  EXPECT_EQ(krptUtil::GetNodeValueAsString(r, "Note"), "a<b & \"c\" \u20AC");
  EXPECT_TRUE(krptUtil::HasNode(r, "Empty"));
  EXPECT_EQ(krptUtil::GetNodeValueAsString(r, "Empty"), "");
  EXPECT_EQ(krptUtil::GetNodeValueAsInteger(r, "Handle"), 42);
}

TEST(AddNode, CreatesTheRootOfAnEmptyDocument) {
  pugi::xml_document doc;
  krptUtil::AddNode(doc, "Root", "x");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(doc, "Root"), "x");
}

TEST(AddNode, RefusesWhatWouldBreakTheDocument) {
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R>text</R>");
  for (const char* name : {"", "a b", "1abc", "a<b", "a>b", "a&b", "a/b", "a=b", "a\"b", "-x"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ErrorOf([&] { krptUtil::AddNode(root, name, "v"); }),
              std::string("Invalid node name \"") + name + "\"");
  }
  for (const char* name : {"_a", "a-b.c", "ns:a", "\u00C8lan", "a1"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(std::string(krptUtil::AddNode(root, name, "v").name()), name);
  }
  // A text node cannot hold elements.
  EXPECT_EQ(ErrorOf([&] { krptUtil::AddNode(root.first_child(), "X", "v"); }), "Cannot add node X");
  EXPECT_EQ(ErrorOf([&] { krptUtil::AddNode(pugi::xml_node(), "X", "v"); }), "Cannot add node X");
}

// ---- size and depth ------------------------------------------------------------------

TEST(Limits, HugeTextIsReadWhole) {
  const std::string big(10 * 1024 * 1024, '7');
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, "<R><V>" + big + "</V><S>" + big + "x</S></R>");
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "V").size(), big.size());
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsInteger(root, "V"); }),
            Prefix("integer") + "'" + big + "' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { krptUtil::GetNodeValueAsCurrency(root, "V"); }),
            Prefix("currency") + "'" + big + "' is not a valid floating point value");
  EXPECT_TRUE(krptUtil::GetNodeValueAsBoolean(root, "V", false));
  EXPECT_EQ(krptUtil::GetNodeValueAsString(root, "S"), big + "x");
}

TEST(Limits, DeeplyNestedContentFailsCleanly) {
  constexpr int kDepth = 100000;
  std::string xml = "<R><V>";
  for (int i = 0; i < kDepth; ++i) xml += "<a>";
  xml += "12";
  for (int i = 0; i < kDepth; ++i) xml += "</a>";
  xml += "</V></R>";
  pugi::xml_document doc;
  pugi::xml_node root = Load(doc, xml);
  for (const Getter& g : AllGetters()) {
    SCOPED_TRACE(g.fKind);
    EXPECT_EQ(ErrorOf([&] { g.fRead(root); }), Prefix(g.fKind) + kNotSingleText);
  }
  EXPECT_EQ(krptUtil::TryGetNodeValueAsDateTime(root, "V"), 0.0);
  EXPECT_TRUE(krptUtil::HasNode(root, "V"));
}

}  // namespace
