// What both HTTP clients share: settings, custom headers, statuses and reply texts.
#include "platform/HttpClient.h"

#include "core/Text.h"
#include "platform/Platform.h"

namespace {

// The code page of the reply's charset; UTF-8 when it names none or one not listed.
int CodePageOfContentType(std::string_view aContentType) {
  const std::string lower = LowerCase(aContentType);
  const size_t at = lower.find("charset=");
  if (at == std::string::npos) return 65001;
  std::string charset = lower.substr(at + 8);
  charset = charset.substr(0, charset.find_first_of("; \t"));
  if (charset.size() >= 2 && charset.front() == '"') charset = charset.substr(1, charset.find('"', 1) - 1);
  static const struct {
    const char* name;
    int codePage;
  } known[] = {{"iso-8859-1", 28591}, {"latin1", 28591}, {"windows-1252", 1252}, {"us-ascii", 20127},
               {"utf-16le", 1200},    {"utf-16be", 1201}, {"iso-8859-15", 28605}};
  for (const auto& k : known) {
    if (charset == k.name) return k.codePage;
  }
  return 65001;
}

}  // namespace

namespace platform {

void HttpClient::SetAuthentication(tAuth aAuth) {
  if (aAuth != fAuth) ForgetChallenge();
  fAuth = aAuth;
}

void HttpClient::AddHeader(std::string aName, std::string aValue) {
  fHeaders.emplace_back(std::move(aName), std::move(aValue));
}

const std::string* HttpClient::FindHeader(std::string_view aName) const {
  for (const auto& [name, value] : fHeaders) {
    if (SameText(name, aName)) return &value;
  }
  return nullptr;
}

void HttpClient::SetHeader(const std::string& aName, std::string aValue) {
  for (auto& [name, value] : fHeaders) {
    if (SameText(name, aName)) {
      value = std::move(aValue);
      return;
    }
  }
  AddHeader(aName, std::move(aValue));
}

std::string HttpClient::Post(const std::string& aUrl, std::string_view aBody, const std::string& aContentType) {
  fStatusCode = kNoReply;
  tReply reply;
  try {
    Send(aUrl, aBody, aContentType, reply);
  } catch (...) {
    fStatusCode = reply.Status;
    throw;
  }
  fStatusCode = reply.Status;
  if (reply.Status < 200 || reply.Status > 299) {
    throw EHttpError(reply.StatusLine.empty() ? "HTTP status " + std::to_string(reply.Status) : reply.StatusLine);
  }
  try {
    return DecodeText(reply.Body, CodePageOfContentType(reply.ContentType));
  } catch (const EMxError&) {
    return DecodeText(reply.Body, 65001);
  }
}

std::string UrlWithoutPassword(std::string_view aUrl) {
  const size_t scheme = aUrl.find("://");
  const size_t userStart = scheme == std::string_view::npos ? 0 : scheme + 3;
  const size_t hostEnd = aUrl.find_first_of("/?#", userStart);
  const std::string_view authority = aUrl.substr(userStart, hostEnd == std::string_view::npos ? hostEnd : hostEnd - userStart);
  const size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(aUrl);
  const size_t colon = authority.substr(0, at).find(':');
  if (colon == std::string_view::npos) return std::string(aUrl);
  std::string masked(aUrl.substr(0, userStart + colon + 1));
  masked += "***";
  masked += aUrl.substr(userStart + at);
  return masked;
}

}  // namespace platform
