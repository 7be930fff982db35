#ifndef SRC_PROVISIONING_FRESHNESS_H_
#define SRC_PROVISIONING_FRESHNESS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/net/http_response.h"

// How long the response that made the cache current lets a run use the cached install agent
// without asking the server, read as a private HTTP cache reads it (RFC 9111), and how long past
// that the install agent may stand in for an endpoint that is down (RFC 5861's stale-if-error).
// The server decides: a response that says nothing (no Cache-Control max-age, no Expires) gives
// no freshness, and nothing is guessed from other fields.

struct Freshness {
  std::string url;               // the endpoint URL that was asked, before any redirect
  std::string validationString;  // the ETag of the response: the record describes only it
  std::string signer;            // the key that verified its install agent; empty: none asked
  int64_t requestTime = 0;       // this machine's clock, seconds since the epoch
  int64_t responseTime = 0;
  int64_t date = 0;           // the response's Date, or the response time when it had none
  int64_t age = 0;            // its Age field; 0 without one
  int64_t lifetime = 0;       // max-age, else Expires minus Date; 0: stale at once
  int64_t staleIfError = -1;  // seconds past the lifetime; -1: never used stale

  bool operator==(const Freshness&) const = default;
};

/// What the response says, when it gives a freshness lifetime or allows stale-if-error; none
/// otherwise (no-store and no-cache give none; must-revalidate forbids a stale use). The url,
/// validation string and signer are left for the caller.
std::optional<Freshness> freshnessOf(const fw::HttpResponse& response, int64_t requestTime,
                                     int64_t responseTime);

/// The age of the response at `now`, as a cache computes it from its record.
int64_t currentAge(const Freshness& freshness, int64_t now);

enum class Reuse { kFresh, kStaleIfError };

/// True when the record lets the response be used at `now` as asked: fresh, or stale within its
/// stale-if-error time. Never when `now` stands before the recorded response: the age is unknown.
bool allows(const Freshness& freshness, Reuse reuse, int64_t now);

/// The record as stored, one "name=value" line per field. Empty when a value could not be
/// stored as one line.
std::string toRecordText(const Freshness& freshness);

/// The record back from its text; none unless every field is there, once, and well-formed.
std::optional<Freshness> fromRecordText(std::string_view text);

#endif  // SRC_PROVISIONING_FRESHNESS_H_
