// A wake-up for a program that sleeps between frames: the readers call it
// whenever a message joins the read queue, so a loop waiting for window events
// can be woken by the network too. The net library knows nothing of windows;
// the program installs what the wake-up does.
#pragma once

namespace vorlane::net {

using InboundWake = void (*)();

// Installs the wake-up (null removes it). It runs on the reader threads and
// must be cheap and thread-safe.
void SetInboundWake(InboundWake wake);
// Runs the installed wake-up, if any.
void NotifyInbound();

}  // namespace vorlane::net
