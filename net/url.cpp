#include "net/url.h"

#include "net/text_rules.h"

namespace {

const char kScheme[] = "http://";
constexpr int32_t kSchemeLength = 7;  // so the authority after it starts at position 8
const char kDefaultPort[] = "80";
const char kDefaultPath[] = "/";

// The stretch holding host and optional ":port": after the scheme (or from
// the first byte when there is none) up to the next "/". An unknown scheme
// such as "https://" is not skipped; it ends up as the host "https".
Text Authority(const Text& url) {
  Text scheme = TextLeft(url, kSchemeLength);
  bool hasScheme = TextEqualsIgnoreCase(scheme, Text(kScheme));
  scheme.Release();
  if (hasScheme) {
    const int64_t authorityStart = kSchemeLength + 1;
    int32_t slash = TextFind(url, Text("/"), authorityStart);
    if (slash >= 1) return TextMid(url, authorityStart, slash - authorityStart);
    return TextRight(url, static_cast<int64_t>(url.Length()) - kSchemeLength);
  }
  int32_t slash = TextFind(url, Text("/"), 1);
  if (slash >= 1) return TextLeft(url, slash - 1);
  return url;
}

}  // namespace

Text UrlGetHost(const Text& url) {
  Text authority = Authority(url);
  int32_t colon = TextFind(authority, Text(":"), 1);
  if (colon >= 1) {
    Text host = TextLeft(authority, colon - 1);
    authority.Release();
    authority = static_cast<Text&&>(host);
  }
  Text host = TextToLower(authority);
  authority.Release();
  return host;
}

int32_t UrlGetPort(const Text& url) {
  Text authority = Authority(url);
  int32_t colon = TextFind(authority, Text(":"), 1);
  Text portText = colon >= 1 ? TextRight(authority, static_cast<int64_t>(authority.Length()) - colon)
                             : Text(kDefaultPort);
  authority.Release();
  double value = TextToNumber(portText);
  portText.Release();

  // The fraction goes toward zero into a 64-bit integer, whose low 32 bits
  // are the port. Nothing checks the range on purpose: the caller passes odd
  // ports on to the connection, which then fails like any other. A value
  // that no 64-bit integer holds (beyond +-2^63) reads as 0 rather than
  // leaving the conversion to chance.
  int64_t whole = 0;
  if (value >= -9223372036854775808.0 && value < 9223372036854775808.0) {
    whole = static_cast<int64_t>(value);
  }
  int64_t low = static_cast<int64_t>(static_cast<uint64_t>(whole) & 0xFFFFFFFFu);
  if (low > INT32_MAX) low -= int64_t{1} << 32;  // the 32 bits read as signed
  return static_cast<int32_t>(low);
}

Text UrlGetPath(const Text& url) {
  // The path begins at the first "/" from where the host text first occurs;
  // the host is lower case, the address need not be (the search ignores case).
  Text host = UrlGetHost(url);
  int32_t hostAt = TextFind(url, host, 1);
  host.Release();
  // Only the empty address has no host occurrence; its search starts at 1.
  if (hostAt < 1) hostAt = 1;
  int32_t slash = TextFind(url, Text("/"), hostAt);
  if (slash >= 1) return TextRight(url, static_cast<int64_t>(url.Length()) - slash + 1);
  return Text(kDefaultPath);
}
