#include "endpoint/endpoint_options.h"

#include <charconv>
#include <functional>
#include <map>

namespace endpoint {

namespace {

bool parseNumber(const std::string& text, uint64_t* value) {
  const char* end = text.data() + text.size();
  const auto [next, failure] = std::from_chars(text.data(), end, *value);
  return !text.empty() && failure == std::errc() && next == end;
}

// Each setter stores a value and returns false when the value is malformed.
using Setter = std::function<bool(EndpointOptions&, const std::string&)>;

Setter text(std::string EndpointOptions::*field) {
  return [field](EndpointOptions& options, const std::string& value) {
    options.*field = value;
    return !value.empty();
  };
}

Setter count(std::function<void(EndpointOptions&, uint64_t)> store, uint64_t max = UINT64_MAX) {
  return [store = std::move(store), max](EndpointOptions& options, const std::string& value) {
    uint64_t number = 0;
    if (!parseNumber(value, &number) || number > max) {
      return false;
    }
    store(options, number);
    return true;
  };
}

const std::map<std::string, Setter>& valueOptions() {
  static const std::map<std::string, Setter> table = {
      {"--port",
       count([](EndpointOptions& o, uint64_t n) { o.port = static_cast<int>(n); }, 65535)},
      {"--port-file", text(&EndpointOptions::portFile)},
      {"--archive", text(&EndpointOptions::archive)},
      {"--body-file", text(&EndpointOptions::bodyFile)},
      {"--log", text(&EndpointOptions::logFile)},
      {"--tls-cert", text(&EndpointOptions::tlsCert)},
      {"--tls-key", text(&EndpointOptions::tlsKey)},
      {"--redirect-to", text(&EndpointOptions::redirectTo)},
      {"--signature", text(&EndpointOptions::signature)},
      {"--status",
       [](EndpointOptions& o, const std::string& value) {
         uint64_t number = 0;
         if (!parseNumber(value, &number) || number < 100 || number > 599) {
           return false;
         }
         o.status = static_cast<int>(number);
         return true;
       }},
      {"--cut-after", count([](EndpointOptions& o, uint64_t n) { o.cutAfter = n; })},
      {"--announce-extra", count([](EndpointOptions& o, uint64_t n) { o.announceExtra = n; })},
      {"--rate", count([](EndpointOptions& o, uint64_t n) { o.rate = n; })},
      {"--stall-after", count([](EndpointOptions& o, uint64_t n) { o.stallAfter = n; })},
  };
  return table;
}

const std::map<std::string, bool EndpointOptions::*>& flagOptions() {
  static const std::map<std::string, bool EndpointOptions::*> table = {
      {"--ignore-if-none-match", &EndpointOptions::ignoreIfNoneMatch},
      {"--empty-body", &EndpointOptions::emptyBody},
      {"--no-etag", &EndpointOptions::noEtag},
      {"--no-length", &EndpointOptions::noLength},
      {"--help", &EndpointOptions::help},
  };
  return table;
}

// Options that are each valid but make no sense together.
bool checkCombination(const EndpointOptions& options, std::string* error) {
  if (options.tlsCert.empty() != options.tlsKey.empty()) {
    *error = "--tls-cert and --tls-key go together";
  } else if (options.noLength && options.announceExtra > 0) {
    *error = "--announce-extra needs an announced length; it cannot go with --no-length";
  } else if (options.cutAfter && options.stallAfter) {
    *error = "--cut-after and --stall-after exclude each other";
  } else if (options.contentPath().empty() && !options.emptyBody) {
    *error = "--archive or --body-file is required (or --empty-body)";
  } else {
    return true;
  }
  return false;
}

}  // namespace

bool parseEndpointOptions(const std::vector<std::string>& args, EndpointOptions* options,
                          std::string* error) {
  *options = EndpointOptions();
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const size_t equals = name.find('=');
        name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (const auto flag = flagOptions().find(name); flag != flagOptions().end()) {
      if (value) {
        *error = name + " takes no value";
        return false;
      }
      options->*(flag->second) = true;
      continue;
    }
    const auto setter = valueOptions().find(name);
    if (setter == valueOptions().end()) {
      *error = "unknown option " + args[i];
      return false;
    }
    if (!value) {
      if (i + 1 == args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!setter->second(*options, *value)) {
      *error = name + ": bad value \"" + *value + "\"";
      return false;
    }
  }
  return options->help || checkCombination(*options, error);
}

std::string endpointUsage() {
  return "usage: bi-endpoint [options]\n"
         "Serves one file for GET of any path on 127.0.0.1, with a SHA-256 ETag.\n"
         "  --port N                 port to listen on (0, the default: any free port)\n"
         "  --port-file F            write the port and a newline to F once listening\n"
         "  --archive F              the file served (re-read when it changes)\n"
         "  --body-file F            serve F instead of the archive\n"
         "  --log F                  append one line per finished request to F\n"
         "  --tls-cert F --tls-key F serve HTTPS\n"
         "  --redirect-to URL        answer every GET for content with 302 to URL\n"
         "  --signature F            serve F for paths that end in .minisig (404 if missing)\n"
         "  --ignore-if-none-match   never answer 304\n"
         "  --status N               answer every GET for content with status N\n"
         "  --empty-body             send no body (Content-Length: 0)\n"
         "  --no-etag                send no ETag (and never 304)\n"
         "  --no-length              chunked transfer encoding, no Content-Length\n"
         "  --cut-after N            send N body bytes, then close the connection\n"
         "  --announce-extra N       announce N bytes more than sent, then close\n"
         "  --rate B                 send about B bytes per second\n"
         "  --stall-after N          send N body bytes, then send nothing until stopped\n"
         "  GET /redirect/N/<rest> answers 302 to /redirect/N-1/<rest>; N = 0 serves.\n";
}

}  // namespace endpoint
