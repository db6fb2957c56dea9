// NET_SETTINGS: the kernel's settings, as a program hands them to TNS_CONTROL
// or reads them from the sections [LOOMEX_CLIENT] / [LOOMEX_SERVER] of a
// settings file (see flownet.h for the keys and working values).
#pragma once

#include <cstdint>
#include <string>

// The settings of "data/lobbynet.ini" (times in milliseconds).
struct NET_SETTINGS {
    uint16_t port = 0;
    uint32_t usr_max = 0;
    uint32_t buf_rw = 0;
    uint32_t buf_writeblock = 0;
    uint32_t thrd_exit = 0;
    uint32_t srv_newconnect = 0;
    uint32_t srv_waitforflags = 0;
    uint32_t srv_sendlogofftimeout = 0;
    uint32_t srv_sendlogonrequest = 0;
    uint32_t srv_checkdeadcon = 0;
    uint32_t srv_checkdeadcalltime = 0;
    uint32_t srv_sendalive = 0;
    uint32_t usr_initnew = 0;
    uint32_t usr_remove = 0;
    uint32_t usr_logoncheck = 0;
    uint32_t usr_logofftimeout = 0;
    uint32_t drv_removetime = 0;
    uint32_t drv_reader_sleep = 0;
    uint32_t drv_reader_sleep_activate = 0;
    uint32_t drv_writer_sleep = 0;
    uint32_t drv_writer_sleep_activate = 0;
    uint32_t drv_serverloop_sleep = 0;
    uint32_t drv_serverloop_sleep_activate = 0;
    // Largest payload a reader accepts ("drv_max_payload"; 0 = kNetDefaultMaxPayload).
    uint32_t drv_max_payload = 0;
    // Address the server listens on, host byte order ("srv_bind_addr"; 0 = any).
    uint32_t srv_bind_addr = 0;
    // Peers that may wait to be accepted ("srv_listen_backlog"; 0 = 5). A
    // server expecting bursts of connections wants more.
    uint32_t srv_listen_backlog = 0;
    // Payload bytes one connection may have waiting for the message loop
    // before its reader stops reading ("drv_read_user_max"; 0 = 256 KiB),
    // and all connections together ("drv_read_total_max"; 0 = 32 MiB).
    uint32_t drv_read_user_max = 0;
    uint32_t drv_read_total_max = 0;
    // Local address a client connects from, host byte order ("clt_bind_addr";
    // 0 = the system's choice). Lets one machine play clients at several
    // loopback addresses.
    uint32_t clt_bind_addr = 0;
    // How long a client waits for the server to accept its log-on
    // ("clt_logon_timeout"; 0 = 30 s).
    uint32_t clt_logon_timeout = 0;
    // Whether the kernel's connections are encrypted ("tls", 1 or 0). A
    // server's port speaks one or the other, never both.
    uint32_t tls = 0;
    // How long a TLS handshake may take before the connection is cut
    // ("tls_handshake_timeout"; 0 = 10 s).
    uint32_t tls_handshake_timeout = 0;
    // Client: the certificates (PEM) a server's must chain to ("tls_ca_file";
    // empty = the system's trust store).
    std::string tls_ca_file;
    // Server: the users' identifiers are srv_id_base + 1 .. srv_id_base +
    // usr_max, so that the servers of a cluster never hand out the same
    // one (set by the program, not read from a file; 0 = 1 .. usr_max). A
    // base that would reach NET_ID_SERVER does not start the kernel.
    uint32_t srv_id_base = 0;
};

// tls_handshake_timeout when none is given.
constexpr uint32_t kNetDefaultHandshakeMs = 10000;

// usr_max above 1003 becomes 1000.
uint32_t NET_ClampUserMax(uint32_t usr_max);

// Reads the settings table from `section` of an already loaded configuration.
struct SCFG;
void NET_ReadSettings(const SCFG* cfg, const char* section, NET_SETTINGS* settings);
