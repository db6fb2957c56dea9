// KRNL: the kernel's protocol work on the thread that drives the flow object:
// the message loop (one envelope per call) and the timed calls (log-on
// checks, keep-alive, dead-connection check, user-online line).
#pragma once

#include <cstdint>

#include "net/call_ctrl.h"
#include "net/envelope.h"
#include "net/netdrv.h"

// Parameter of the driver-wide timed calls.
struct DRIVER_CALL_PARAM : CALL_PARAM {
    NETDRV* driver = nullptr;
};

// Parameter of the timed calls that belong to one user (log-on checks,
// keep-alive); they are cancelled when the user goes away.
struct USER_CALL_PARAM : CALL_PARAM {
    NETDRV* driver = nullptr;
    NETUSR* user = nullptr;
};

// Parameter of a log-on check (cancelled once the user logged on).
struct LOGON_CHECK_PARAM : USER_CALL_PARAM {};

// Handles one envelope of the read queue, if any. Returns the type handled,
// or 0 when the queue was empty.
uint32_t KRNL_MessageLoop(NETDRV* driver);
// Dispatches one envelope (taken out of the queue by the caller) and frees it.
void KRNL_HandleEnvelope(NETDRV* driver, ENVELOPE* envelope);

// Queues an internal removal for the user unless one is pending. 0 or -1.
int16_t KRNL_SendUsrRemoveMessage(NETDRV* driver, NETUSR* user);
int16_t KRNL_RemoveUser(NETDRV* driver, NETUSR* user);
void KRNL_ConnectionLost(NETDRV* driver, NETUSR* user);
int16_t KRNL_InitUser(NETDRV* driver, NET_CONNECTION* connection);
int16_t KRNL_LogClientOn(NETDRV* driver, ENVELOPE* envelope);
int16_t KRNL_LogClientOff(NETDRV* driver, ENVELOPE* envelope);

// Adds a one-shot log-on check for the user after `delay_ms`.
uint32_t KRNL_AddLogonCheck(NETDRV* driver, NETUSR* user, uint32_t delay_ms);
// Cancels every timed call that belongs to the user.
void KRNL_CancelUserCalls(NETDRV* driver, NETUSR* user);

// Timed calls of the server.
int KRNL_PTR_CheckDeadConnections(CALL_PARAM* parameter);
int KRNL_PTR_UserOnline(CALL_PARAM* parameter);
void KRNL_WriteUserOnline(NETDRV* driver);
// The log-out line (user log) and the data line (data log), once per user.
void KRNL_WriteLogout(NETDRV* driver, NETUSR* user);
