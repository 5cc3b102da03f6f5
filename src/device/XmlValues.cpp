// Typed access to the values of request documents.
#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Text.h"
#include "core/Utils.h"
#include "device/krptUtil.h"
#include "platform/Platform.h"

namespace {

// Looks at the direct children only, so any depth or size of content is safe here. Text
// that opens an element may be held by the element itself instead of a node of its own.
std::string_view ElementText(pugi::xml_node aElement) {
  const std::string_view embedded = aElement.value();
  pugi::xml_node first = aElement.first_child();
  if (!first) return embedded;
  if (embedded.empty() && !first.next_sibling() &&
      (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata)) {
    return first.value();
  }
  throw EMxError(std::string("Element \"") + aElement.name() + "\" does not contain a single text node");
}

template <class F>
auto Wrapped(std::string_view aNodeName, const char* aKind, F&& aRead) -> decltype(aRead()) {
  try {
    return aRead();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw EMxError("Error in processing node " + std::string(aNodeName) + " as " + aKind + ".\r\n" +
                   e.what());
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class NumberValue { NotANumber, Zero, NonZero };

// Decimal number with '.' as separator: blanks, sign, digits, fraction, exponent.
NumberValue ScanDecimal(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  bool digits = false, nonZero = false;
  for (; i < n && IsDigit(s[i]); ++i) {
    digits = true;
    nonZero = nonZero || s[i] != '0';
  }
  if (i < n && s[i] == '.') {
    for (++i; i < n && IsDigit(s[i]); ++i) {
      digits = true;
      nonZero = nonZero || s[i] != '0';
    }
  }
  if (!digits) return NumberValue::NotANumber;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    if (i == n || !IsDigit(s[i])) return NumberValue::NotANumber;
    while (i < n && IsDigit(s[i])) ++i;
  }
  while (i < n && s[i] == ' ') ++i;
  if (i != n) return NumberValue::NotANumber;
  return nonZero ? NumberValue::NonZero : NumberValue::Zero;
}

// XML names as far as a writer must care: no markup, blanks or leading digit.
bool IsXmlName(std::string_view aName) {
  if (aName.empty()) return false;
  for (size_t i = 0; i < aName.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(aName[i]);
    bool start = c >= 0x80 || c == '_' || c == ':' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    bool inner = start || c == '-' || c == '.' || IsDigit(static_cast<char>(c));
    if (!(i == 0 ? start : inner)) return false;
  }
  return true;
}

// Length of the well-formed UTF-8 sequence at aText[i], 0 when there is none.
size_t Utf8SequenceLength(std::string_view aText, size_t i) {
  unsigned char b = static_cast<unsigned char>(aText[i]);
  size_t len;
  uint32_t cp;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) { len = 2; cp = b & 0x1F; }
  else if (b >= 0xE0 && b <= 0xEF) { len = 3; cp = b & 0x0F; }
  else if (b >= 0xF0 && b <= 0xF4) { len = 4; cp = b & 0x07; }
  else return 0;
  if (aText.size() - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    unsigned char c = static_cast<unsigned char>(aText[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (c & 0x3F);
  }
  if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
      (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
    return 0;
  }
  return len;
}

}  // namespace

namespace {

// aName == aNodeName without measuring aNodeName first: most names differ early.
bool NameIs(const char* aNodeName, std::string_view aName) {
  for (const char c : aName) {
    if (*aNodeName == '\0' || *aNodeName != c) return false;
    ++aNodeName;
  }
  return *aNodeName == '\0';
}

}  // namespace

pugi::xml_node krptUtil::FindChildElement(pugi::xml_node aParent, std::string_view aName) {
  for (pugi::xml_node c = aParent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && NameIs(c.name(), aName)) return c;
  }
  return {};
}

namespace {

// Shorter names first: most names differ in length, so the text is seldom compared.
bool NameBefore(std::string_view a, std::string_view b) { return a.size() != b.size() ? a.size() < b.size() : a < b; }

}  // namespace

krptUtil::tkChildElements::tkChildElements(pugi::xml_node aParent) {
  size_t order = 0;
  for (pugi::xml_node c = aParent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element) fByName.push_back({c.name(), order++, c});
  }
  std::sort(fByName.begin(), fByName.end(), [](const Entry& a, const Entry& b) {
    if (NameBefore(a.fName, b.fName)) return true;
    if (NameBefore(b.fName, a.fName)) return false;
    return a.fOrder < b.fOrder;
  });
}

pugi::xml_node krptUtil::tkChildElements::Find(std::string_view aName) const {
  const auto it = std::lower_bound(fByName.begin(), fByName.end(), aName,
                                   [](const Entry& a, std::string_view aKey) { return NameBefore(a.fName, aKey); });
  return it != fByName.end() && it->fName == aName ? it->fNode : pugi::xml_node();
}

std::string krptUtil::GetNodeValueAsString(tkChildSource aParent, std::string_view aNodeName) {
  return Wrapped(aNodeName, "string", [&]() -> std::string {
    pugi::xml_node node = aParent.Find(aNodeName);
    if (!node) return {};
    return std::string(ElementText(node));
  });
}

std::string krptUtil::GetElementValueAsString(pugi::xml_node aElement) {
  return Wrapped(aElement.name(), "string", [&] { return std::string(ElementText(aElement)); });
}

int32_t krptUtil::GetNodeValueAsInteger(tkChildSource aParent, std::string_view aNodeName) {
  return Wrapped(aNodeName, "integer", [&]() -> int32_t {
    pugi::xml_node node = aParent.Find(aNodeName);
    if (!node) return 0;
    std::string_view text = ElementText(node);
    if (text.empty()) return 0;
    std::optional<int32_t> value = ParseInt32(text, kIntegerSyntax);
    if (!value) throw EMxError("'" + std::string(text) + "' is not a valid integer value");
    return *value;
  });
}

Currency krptUtil::GetNodeValueAsCurrency(tkChildSource aParent, std::string_view aNodeName) {
  return Wrapped(aNodeName, "currency", [&]() -> Currency {
    pugi::xml_node node = aParent.Find(aNodeName);
    if (!node) return Currency();
    std::string_view text = ElementText(node);
    if (text.empty()) return Currency();
    std::optional<Currency> value = Currency::Parse(text);
    if (!value) throw EMxError("'" + std::string(text) + "' is not a valid floating point value");
    return *value;
  });
}

bool krptUtil::GetNodeValueAsBoolean(tkChildSource aParent, std::string_view aNodeName,
                                     bool aDefaultValue) {
  return Wrapped(aNodeName, "boolean", [&]() -> bool {
    pugi::xml_node node = aParent.Find(aNodeName);
    if (!node) return aDefaultValue;
    std::string_view text = ElementText(node);
    switch (ScanDecimal(text)) {
      case NumberValue::NonZero: return true;
      case NumberValue::Zero: return false;
      case NumberValue::NotANumber: break;
    }
    if (SameText(text, "True")) return true;
    if (SameText(text, "False")) return false;
    throw EMxError("'" + std::string(text) + "' is not a valid boolean value");
  });
}

TDateTime krptUtil::GetNodeValueAsDate(tkChildSource aParent, std::string_view aNodeName) {
  return Wrapped(aNodeName, "date", [&]() -> TDateTime {
    pugi::xml_node node = aParent.Find(aNodeName);
    if (!node) return 0;
    return ISOToDate(ElementText(node));
  });
}

TDateTime krptUtil::GetNodeValueAsDateTime(tkChildSource aParent, std::string_view aNodeName) {
  return Wrapped(aNodeName, "datetime", [&]() -> TDateTime {
    pugi::xml_node node = aParent.Find(aNodeName);
    if (!node) return 0;
    return ISOToDateTime(ElementText(node));
  });
}

TDateTime krptUtil::TryGetNodeValueAsDateTime(tkChildSource aParent, std::string_view aNodeName) {
  try {
    return GetNodeValueAsDateTime(aParent, aNodeName);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    return 0;
  }
}

bool krptUtil::HasNode(tkChildSource aParent, std::string_view aNodeName) {
  return static_cast<bool>(aParent.Find(aNodeName));
}

std::string krptUtil::GetAttributeValueAsString(pugi::xml_node aNode, std::string_view aAttrName) {
  for (pugi::xml_attribute a = aNode.first_attribute(); a; a = a.next_attribute()) {
    if (aAttrName == a.name()) return a.value();
  }
  return {};
}

pugi::xml_node krptUtil::AddNode(pugi::xml_node aParentNode, std::string_view aNodeName,
                                 std::string_view aNodeValue) {
  // pugixml writes any name it is given; a bad one would make the document unreadable.
  if (!IsXmlName(aNodeName)) throw EMxError("Invalid node name \"" + std::string(aNodeName) + "\"");
  pugi::xml_node node = aParentNode.append_child(pugi::node_element);
  if (!node) throw EMxError("Cannot add node " + std::string(aNodeName));
  const std::string name(aNodeName);
  node.set_name(name.c_str());
  // No text node for an empty value: it reads the same and writes as <Name />.
  if (!aNodeValue.empty()) {
    node.append_child(pugi::node_pcdata).set_value(aNodeValue.data(), aNodeValue.size());
  }
  return node;
}

void krptUtil::ChangeXMLEncoding(pugi::xml_node aNode, std::string_view aCharset) {
  if (!aNode) return;
  const int decodeCodePage = LowerCase(aCharset) == "gr" ? 1253 : 0;
  // Walks the subtree without recursion: request documents may nest arbitrarily deep.
  pugi::xml_node cur = aNode;
  for (;;) {
    // Text nodes, and elements that hold the text they open with.
    const pugi::xml_node_type type = cur.type();
    if ((type == pugi::node_pcdata || type == pugi::node_cdata || type == pugi::node_element) &&
        *cur.value() != '\0') {
      std::string repaired = platform::ReencodeAnsiText(cur.value(), decodeCodePage);
      // An element's value can only be set as its text.
      if (type == pugi::node_element) {
        cur.text().set(repaired.data(), repaired.size());
      } else {
        cur.set_value(repaired.data(), repaired.size());
      }
    }
    if (pugi::xml_node child = cur.first_child()) {
      cur = child;
      continue;
    }
    while (cur != aNode && !cur.next_sibling()) cur = cur.parent();
    if (cur == aNode) return;
    cur = cur.next_sibling();
  }
}

std::string krptUtil::NormalizeText(std::string_view aText) {
  static constexpr std::string_view kPlainLetters[][2] = {
      {"\u00C0", "A"}, {"\u00D9", "U"}, {"\u00C8", "E"}, {"\u00C9", "E"}, {"\u00D2", "O"},
      {"\u00D6", "O"}, {"\u00C7", "C"}, {"\u00CF", "I"}, {"\u00CC", "I"}, {"\u20AC", "E"},
  };
  std::string text(aText);
  for (const auto& [from, to] : kPlainLetters) text = StringReplaceAll(text, from, to);
  text = StringReplaceAll(text, "TOTALE", "TOT.");

  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      result += b < 32 ? ' ' : static_cast<char>(b);
      ++i;
      continue;
    }
    // One blank per character; a byte that starts no character counts as one.
    size_t len = Utf8SequenceLength(text, i);
    result += ' ';
    i += len == 0 ? 1 : len;
  }
  return result;
}
