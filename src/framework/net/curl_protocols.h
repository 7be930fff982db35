#ifndef SRC_FRAMEWORK_NET_CURL_PROTOCOLS_H_
#define SRC_FRAMEWORK_NET_CURL_PROTOCOLS_H_

#include <curl/curl.h>

#include <string>

#include "framework/net/curl_library.h"

namespace fw {

// The protocol options by number: those by name are missing from headers older than 7.85, and
// from 7.85 on the headers mark the bit-mask ones deprecated. The numbers are part of libcurl's
// ABI, so whichever header the program was built with, a libcurl that knows an option takes it.
inline constexpr auto kProtocolsOption = static_cast<CURLoption>(CURLOPTTYPE_LONG + 181);
inline constexpr auto kRedirectProtocolsOption = static_cast<CURLoption>(CURLOPTTYPE_LONG + 182);
inline constexpr auto kProtocolNamesOption = static_cast<CURLoption>(CURLOPTTYPE_OBJECTPOINT + 318);
inline constexpr auto kRedirectProtocolNamesOption =
    static_cast<CURLoption>(CURLOPTTYPE_OBJECTPOINT + 319);

/// Holds the transfer `easy` to http and https, and its redirects to https alone when
/// `httpsOnly`, in the form that `rule` names. Returns libcurl's answer (for kNone,
/// CURLE_UNKNOWN_OPTION).
CURLcode restrictProtocols(const CurlLibrary& curl, CURL* easy, ProtocolRule rule, bool httpsOnly);

/// Which form of the protocol options this libcurl takes, tried on a handle of its own: the
/// names, else the bit masks (a libcurl before 7.85 answers CURLE_UNKNOWN_OPTION to the names),
/// else kNone, with libcurl's reason in `error`.
ProtocolRule chooseProtocolRule(const CurlLibrary& curl, std::string& error);

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_CURL_PROTOCOLS_H_
