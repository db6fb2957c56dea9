// NETAPI: the notifications the kernel gives its owner.
//
// Every hook runs on the thread that drives the flow object (inside Run); the
// driver's own threads never call the application. Data pointers are valid
// only during the call.
#pragma once

#include <cstdint>
#include <memory>

namespace vorlane::net {
class TlsContext;
}

class NETAPI {
  public:
    virtual ~NETAPI() = default;

    // Server side.
    virtual void SrvUserLoggedOn(uint32_t /*id*/) {}
    virtual void SrvUserLoggedOff(uint32_t /*id*/) {}
    virtual void SrvConnectionLost(uint32_t /*id*/) {}
    virtual void SrvUserRemoved(uint32_t /*id*/) {}
    virtual void SrvCustomData(uint32_t /*sender*/, const uint8_t* /*data*/, uint32_t /*size*/) {}
    virtual void SrvFileReceived(const char* /*name*/) {}
    virtual void SrvFileFailed(const char* /*name*/) {}
    // A logged-on client's message was dropped: data, a file or group data
    // addressed to another user while relaying is off, or a file while no
    // folder takes files. `type` is the kernel message type.
    virtual void SrvDataRefused(uint32_t /*sender*/, uint32_t /*type*/) {}
    virtual void SrvTick() {}
    // Server with tls = 1: the certificate every connection is encrypted
    // with, asked once before the port is opened (null: the driver does not start).
    virtual std::shared_ptr<vorlane::net::TlsContext> SrvTlsContext() { return nullptr; }

    // Client side.
    virtual void CltLogonAccepted(uint32_t /*own_id*/) {}
    virtual void CltLogoffAccepted(uint32_t /*id*/) {}
    // The server refused the log-on (NET_LOGON_REFUSED_*); the connection is
    // being removed.
    virtual void CltLogonRefused(uint32_t /*reason*/) {}
    virtual void CltConnectionLost(uint32_t /*id*/) {}
    virtual void CltUserRemoved(uint32_t /*id*/) {}
    virtual void CltCustomData(uint32_t /*receiver*/, uint32_t /*sender*/, const uint8_t* /*data*/,
                               uint32_t /*size*/) {}
    virtual void CltFileReceived(const char* /*name*/) {}
    virtual void CltFileFailed(const char* /*name*/) {}
    virtual void CltGroupData(uint32_t /*receiver*/, uint32_t /*sender*/, uint32_t /*group*/,
                              const uint8_t* /*data*/, uint32_t /*size*/) {}
    virtual void CltTick() {}
};
