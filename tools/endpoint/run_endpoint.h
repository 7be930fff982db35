#ifndef TOOLS_ENDPOINT_RUN_ENDPOINT_H_
#define TOOLS_ENDPOINT_RUN_ENDPOINT_H_

#include "endpoint/endpoint_options.h"

namespace endpoint {

/// Runs bi-endpoint with parsed options: binds, announces the port (in the port file, written
/// under a temporary name and renamed into place, and on standard output), serves until SIGTERM
/// or SIGINT, and returns the exit status: 0 after a stop by signal, 1 when binding, the port
/// file or serving failed (with a message on standard error).
int runEndpoint(const EndpointOptions& options);

}  // namespace endpoint

#endif  // TOOLS_ENDPOINT_RUN_ENDPOINT_H_
