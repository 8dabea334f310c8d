#include "core/update_reply.h"

#include <cstring>

namespace {

constexpr size_t kAddressUnits = sizeof(UpdateReply::address) / sizeof(TextUnit);

bool IsHostUnit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Characters of a path, query or fragment that cannot end the markup's
// quoted target or smuggle in another tag.
bool IsPathUnit(char c) { return c > ' ' && c < 0x7F && !strchr("\"<>\\^`{|}", c); }

// Whether text starts with the lower-case scheme, in any case.
bool StartsWithAnyCase(const char* text, size_t length, const char* scheme) {
  size_t n = strlen(scheme);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i)
    if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] + 32 : text[i]) != scheme[i]) return false;
  return true;
}

}  // namespace

bool IsWebAddress(const char* text, size_t length) {
  size_t at = 0;
  if (StartsWithAnyCase(text, length, "http://")) at = 7;
  else if (StartsWithAnyCase(text, length, "https://")) at = 8;
  else return false;
  size_t hostStart = at;
  if (at < length && text[at] == '[') {
    while (++at < length && (IsDigit(text[at]) || strchr("abcdefABCDEF:.", text[at]))) {}
    if (at >= length || text[at] != ']' || at == hostStart + 1) return false;
    ++at;
  } else {
    while (at < length && IsHostUnit(text[at])) ++at;
    if (at == hostStart) return false;
  }
  if (at < length && text[at] == ':') {
    size_t digits = 0;
    unsigned port = 0;
    while (++at < length && IsDigit(text[at]) && ++digits <= 5) port = port * 10 + unsigned(text[at] - '0');
    if (digits == 0 || digits > 5 || port == 0 || port > 65535) return false;
  }
  if (at < length && !strchr("/?#", text[at])) return false;
  for (; at < length; ++at)
    if (!IsPathUnit(text[at])) return false;
  return true;
}

bool ParseUpdateReply(const char* body, UpdateReply* reply) {
  *reply = UpdateReply{};
  const char* end = strchr(body, '>');
  if (!end) return false;
  const char* at = body;
  while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
  if (!IsDigit(*at)) return false;  // an error page from a server or proxy, not the service
  uint32_t* parts[] = {&reply->major, &reply->minor, &reply->patch};
  for (int i = 0; i < 3 && at < end; ++i) {
    if (i > 0 && *at++ != '.') break;
    uint64_t value = 0;
    for (; IsDigit(*at); ++at)
      if ((value = value * 10 + uint64_t(*at - '0')) > UINT32_MAX) return false;  // not wrapped around
    *parts[i] = uint32_t(value);
  }
  // Only an announced update shows or opens its address; "no update" may
  // come with none.
  if (NewsOf(*reply) == UpdateNews::kNone) return true;
  const char* address = end + 1;
  size_t length = strlen(address);
  while (length > 0 && (address[length - 1] == '\n' || address[length - 1] == '\r')) --length;
  if (!IsWebAddress(address, length) || length >= kAddressUnits) return false;
  for (size_t i = 0; i <= length; ++i) reply->address[i] = TextUnit(i < length ? address[i] : 0);
  return true;
}

UpdateNews NewsOf(const UpdateReply& reply) {
  constexpr uint32_t major = QUILLON_VERSION_MAJOR, minor = QUILLON_VERSION_MINOR, patch = QUILLON_VERSION_PATCH;
  if (reply.major > major) return UpdateNews::kMajor;
  if (reply.major == major && reply.minor > minor) return UpdateNews::kMinor;
  if (reply.major == major && reply.minor == minor && reply.patch > patch) return UpdateNews::kPatch;
  return UpdateNews::kNone;
}

uint64_t NextCheckMinutes(uint32_t lastCheck, uint32_t now) {
  // A last check in the future makes the check due now.
  return lastCheck > now ? now : uint64_t(lastCheck) + kCheckPeriodMinutes;
}

bool AutoCheckDue(bool autoCheck, uint32_t lastCheck, uint32_t now) {
  return autoCheck && (NextCheckMinutes(lastCheck, now) < now || lastCheck > now);
}
