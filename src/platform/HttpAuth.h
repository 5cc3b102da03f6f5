#pragma once
// Authorization header values for clients that compose them themselves (WinHTTP, whose
// own Digest support cannot be relied on): Basic, and Digest answers (RFC 2617).
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// "Basic " followed by user:password in Base64.
std::string BasicAuthorization(std::string_view aUser, std::string_view aPassword);

struct tDigestChallenge {
  std::string Realm;
  std::string Nonce;
  std::string Opaque;
  std::string Algorithm;  // as the server named it; empty means MD5
  bool QopAuth = false;   // the server offers qop "auth"
  bool Stale = false;     // the nonce expired; the credentials were right
};

// The Digest challenge in a WWW-Authenticate value, skipping challenges of other schemes
// before it; false when the value holds none or one without a nonce.
bool ParseDigestChallenge(std::string_view aValue, tDigestChallenge& aChallenge);

// Lowercase hexadecimal MD5 of the bytes.
using tMd5Hex = std::string (*)(std::string_view aData);

// The Authorization value answering aChallenge for one request: aCount is this nonce's
// use count (from 1), aClientNonce a fresh random text.
std::string DigestAuthorization(const tDigestChallenge& aChallenge, std::string_view aUser,
                                std::string_view aPassword, std::string_view aMethod, std::string_view aUri,
                                uint32_t aCount, std::string_view aClientNonce, tMd5Hex aMd5Hex);

}  // namespace platform
