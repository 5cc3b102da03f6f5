#include "platform/HttpAuth.h"

#include <cstdio>
#include <initializer_list>
#include <utility>

#include "core/Text.h"

namespace {

std::string Base64(std::string_view aData) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((aData.size() + 2) / 3 * 4);
  for (size_t i = 0; i < aData.size(); i += 3) {
    const size_t left = aData.size() - i;
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(aData[i])) << 16;
    if (left > 1) group |= static_cast<uint32_t>(static_cast<unsigned char>(aData[i + 1])) << 8;
    if (left > 2) group |= static_cast<unsigned char>(aData[i + 2]);
    out.push_back(kDigits[(group >> 18) & 63]);
    out.push_back(kDigits[(group >> 12) & 63]);
    out.push_back(left > 1 ? kDigits[(group >> 6) & 63] : '=');
    out.push_back(left > 2 ? kDigits[group & 63] : '=');
  }
  return out;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Reads "name=value" or "name=\"quoted\"" at aPos; false at a scheme name (no '=').
bool NextParameter(std::string_view aText, size_t& aPos, std::string& aName, std::string& aValue) {
  while (aPos < aText.size() && (IsSpace(aText[aPos]) || aText[aPos] == ',')) ++aPos;
  const size_t nameStart = aPos;
  while (aPos < aText.size() && aText[aPos] != '=' && aText[aPos] != ',' && !IsSpace(aText[aPos])) ++aPos;
  aName = LowerCase(aText.substr(nameStart, aPos - nameStart));
  size_t at = aPos;
  while (at < aText.size() && IsSpace(aText[at])) ++at;
  if (aName.empty() || at >= aText.size() || aText[at] != '=') {
    aPos = nameStart;
    return false;
  }
  aPos = at + 1;
  while (aPos < aText.size() && IsSpace(aText[aPos])) ++aPos;
  aValue.clear();
  if (aPos < aText.size() && aText[aPos] == '"') {
    for (++aPos; aPos < aText.size() && aText[aPos] != '"'; ++aPos) {
      if (aText[aPos] == '\\' && aPos + 1 < aText.size()) ++aPos;
      aValue.push_back(aText[aPos]);
    }
    if (aPos < aText.size()) ++aPos;
  } else {
    while (aPos < aText.size() && aText[aPos] != ',' && !IsSpace(aText[aPos])) aValue.push_back(aText[aPos++]);
  }
  return true;
}

// Quoted-string content: backslash before '"' and '\'.
std::string Quoted(std::string_view aText) {
  std::string out = "\"";
  for (char c : aText) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

}  // namespace

namespace platform {

std::string BasicAuthorization(std::string_view aUser, std::string_view aPassword) {
  std::string pair(aUser);
  pair += ':';
  pair += aPassword;
  return "Basic " + Base64(pair);
}

bool ParseDigestChallenge(std::string_view aValue, tDigestChallenge& aChallenge) {
  size_t pos = 0;
  while (pos < aValue.size()) {
    // A scheme name, then its parameters up to the next scheme name.
    while (pos < aValue.size() && (IsSpace(aValue[pos]) || aValue[pos] == ',')) ++pos;
    const size_t schemeStart = pos;
    while (pos < aValue.size() && !IsSpace(aValue[pos]) && aValue[pos] != ',') ++pos;
    const bool digest = SameText(aValue.substr(schemeStart, pos - schemeStart), "Digest");
    tDigestChallenge challenge;
    std::string name;
    std::string value;
    while (NextParameter(aValue, pos, name, value)) {
      if (!digest) continue;
      if (name == "realm") challenge.Realm = value;
      else if (name == "nonce") challenge.Nonce = value;
      else if (name == "opaque") challenge.Opaque = value;
      else if (name == "algorithm") challenge.Algorithm = value;
      else if (name == "stale") challenge.Stale = SameText(value, "true");
      else if (name == "qop") {
        for (size_t start = 0; start <= value.size();) {
          size_t end = value.find(',', start);
          if (end == std::string::npos) end = value.size();
          std::string option = value.substr(start, end - start);
          while (!option.empty() && IsSpace(option.front())) option.erase(0, 1);
          while (!option.empty() && IsSpace(option.back())) option.pop_back();
          if (SameText(option, "auth")) challenge.QopAuth = true;
          start = end + 1;
        }
      }
    }
    if (digest && !challenge.Nonce.empty()) {
      aChallenge = std::move(challenge);
      return true;
    }
    if (pos == schemeStart) ++pos;  // never stall on a stray character
  }
  return false;
}

std::string DigestAuthorization(const tDigestChallenge& aChallenge, std::string_view aUser,
                                std::string_view aPassword, std::string_view aMethod, std::string_view aUri,
                                uint32_t aCount, std::string_view aClientNonce, tMd5Hex aMd5Hex) {
  const auto join = [](std::initializer_list<std::string_view> aParts) {
    std::string text;
    for (std::string_view part : aParts) {
      if (!text.empty()) text += ':';
      text += part;
    }
    return text;
  };
  char count[9];
  std::snprintf(count, sizeof count, "%08x", static_cast<unsigned>(aCount));
  std::string ha1 = aMd5Hex(join({aUser, aChallenge.Realm, aPassword}));
  if (SameText(aChallenge.Algorithm, "MD5-sess")) ha1 = aMd5Hex(join({ha1, aChallenge.Nonce, aClientNonce}));
  const std::string ha2 = aMd5Hex(join({aMethod, aUri}));
  const std::string response = aChallenge.QopAuth
                                   ? aMd5Hex(join({ha1, aChallenge.Nonce, count, aClientNonce, "auth", ha2}))
                                   : aMd5Hex(join({ha1, aChallenge.Nonce, ha2}));

  std::string value = "Digest username=" + Quoted(aUser) + ", realm=" + Quoted(aChallenge.Realm) +
                      ", nonce=" + Quoted(aChallenge.Nonce) + ", uri=" + Quoted(aUri);
  if (!aChallenge.Algorithm.empty()) value += ", algorithm=" + aChallenge.Algorithm;
  value += ", response=" + Quoted(response);
  if (aChallenge.QopAuth) {
    value += ", qop=auth, nc=";
    value += count;
    value += ", cnonce=" + Quoted(aClientNonce);
  }
  if (!aChallenge.Opaque.empty()) value += ", opaque=" + Quoted(aChallenge.Opaque);
  return value;
}

}  // namespace platform
