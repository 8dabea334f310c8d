// The update service's reply and when the automatic check is due.
//
// The reply's grammar: "A.B.C" (a part that cannot be read is 0, but the
// first must start with a digit), anything up to the first '>', then the
// download address. A reply announcing an update needs an http or https
// address of at most 127 units, the service's trailing line break dropped;
// any other reply keeps no address.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/text.h"
#include "quillon_version.h"

struct UpdateReply {
  uint32_t major, minor, patch;
  TextUnit address[128];
};
// body is terminated. False when the reply is not recognised.
bool ParseUpdateReply(const char* body, UpdateReply* reply);
// Whether text is a plain http or https address: a host name or bracketed
// IPv6 address, an optional port, then printable characters that cannot
// break out of link markup.
bool IsWebAddress(const char* text, size_t length);

// What the replied version is to this one (its first three fields).
enum class UpdateNews { kNone, kPatch, kMinor, kMajor };
UpdateNews NewsOf(const UpdateReply& reply);

// As stored: major, minor and patch, one byte each below the major (1.7.2 is 0x10702).
constexpr uint32_t kBuiltInVersion =
    QUILLON_VERSION_MAJOR << 16 | QUILLON_VERSION_MINOR << 8 | QUILLON_VERSION_PATCH;
// Whether the automatic check runs at a start at now (minutes since 1601):
// the last check was more than three days before, or lies in the future
// (a clock that was once wrong would otherwise stop the checks for good).
constexpr uint32_t kCheckPeriodMinutes = 4320;
bool AutoCheckDue(bool autoCheck, uint32_t lastCheck, uint32_t now);
// When the next automatic check falls due, in the same minutes.
uint64_t NextCheckMinutes(uint32_t lastCheck, uint32_t now);
