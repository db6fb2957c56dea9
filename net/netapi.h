// NETAPI: the notifications the kernel gives its owner.
//
// Every hook runs on the thread that drives the flow object (inside Run); the
// driver's own threads never call the application. Data pointers are valid
// only during the call.
#pragma once

#include <cstdint>

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
    virtual void SrvTick() {}

    // Client side.
    virtual void CltLogonAccepted(uint32_t /*own_id*/) {}
    virtual void CltLogoffAccepted(uint32_t /*id*/) {}
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
