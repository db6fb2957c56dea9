// Arbitrary lobby packets into the lobby server's packet handling from four
// logged-on users (three with accounts), with the kernel replaced by a sink.
#include <cstdint>

#include "fuzz/lobby/fuzz_stream.h"
#include "fuzz/lobby/sink_server.h"

using namespace vorlane::net;
using namespace vorlane::server;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SinkServer server(FuzzStore(), FuzzConfig());
    server.LogOnUsers(1);
    FuzzStream stream(data, size);
    FuzzStep step;
    while (stream.Next(&step)) {
        const uint32_t user = 1 + step.selector % 5;  // 5 is nobody the server knows
        if (step.selector >= 250) {
            server.OnUserRemoved(user);
            server.OnLogon(user);
            continue;
        }
        server.Deliver(user, step.sub_type, step.bytes);
    }
    return 0;
}
