// The update service's reply: whatever it holds, an announced update carries
// a web address that fits its field.
#include <string>

#include "core/update_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data), size);  // the check reads a terminated body
  IsWebAddress(body.data(), body.size());
  UpdateReply reply;
  if (!ParseUpdateReply(body.c_str(), &reply) || NewsOf(reply) == UpdateNews::kNone) return 0;
  std::string address;
  for (TextUnit unit : reply.address) {
    if (!unit) break;
    address.push_back(char(unit));
  }
  if (address.size() >= std::size(reply.address) || !IsWebAddress(address.data(), address.size())) __builtin_trap();
  return 0;
}
