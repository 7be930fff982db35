// libFuzzer target for what the freshness rules read from outside: a response's header fields
// (Cache-Control, Expires, Date, Age) from the network and the record from the cache. Whatever
// the bytes: no overflow in the age, and the record made from a response reads back the same.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "provisioning/freshness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const int64_t now = 1'800'000'000;
  if (const std::optional<Freshness> record = fromRecordText(text)) {
    (void)allows(*record, Reuse::kFresh, now);
    (void)allows(*record, Reuse::kStaleIfError, now);
  }
  fw::HttpResponse response;
  for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    fw::addHeaderLine(response, text.substr(0, end + 1));
    text.remove_prefix(end + 1);
  }
  if (const std::optional<Freshness> freshness = freshnessOf(response, now - 1, now)) {
    const std::string record = toRecordText(*freshness);
    if (fromRecordText(record) != freshness) {
      __builtin_trap();
    }
  }
  return 0;
}
