#include "net/inbound_wake.h"

#include <atomic>

namespace vorlane::net {
namespace {
std::atomic<InboundWake> g_wake{nullptr};
}  // namespace

void SetInboundWake(InboundWake wake) {
    g_wake.store(wake);
}

void NotifyInbound() {
    if (InboundWake wake = g_wake.load())
        wake();
}

}  // namespace vorlane::net
