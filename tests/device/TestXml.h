#pragma once
// Small helpers for the device tests: XML fixtures and error capture.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>
#include <string_view>

#include "core/Errors.h"
#include "support/ErrorOf.h"

namespace devtest {

// Parses aXml into aDoc and gives its root element.
inline pugi::xml_node Load(pugi::xml_document& aDoc, std::string_view aXml,
                           unsigned aOptions = pugi::parse_default) {
  pugi::xml_parse_result r = aDoc.load_buffer(aXml.data(), aXml.size(), aOptions, pugi::encoding_utf8);
  EXPECT_TRUE(r) << r.description() << " in " << aXml.substr(0, 200);
  return aDoc.document_element();
}

// The message of the EMxError that aCall raises, or a marker when it raises none.
using ::ErrorOf;

}  // namespace devtest
