// The message loop's handling of each message type, fed with arbitrary
// envelopes on a live loopback server and a logged-on client.
//
// Input: byte 0 selects the side (bit 0: server), bytes 1..12 are type, sender
// and receiver (little-endian), the rest is the payload.
#include <stdlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "baselib/bl_file.h"
#include "baselib/byte_reader.h"
#include "baselib/logsys.h"
#include "net/flownet.h"
#include "net/krnl.h"

namespace {

struct World {
    NETAPI api;
    FLOWNET server;
    FLOWNET client;
    NETUSR* client_user = nullptr;  // the client's connection to the server
    NETUSR* server_user = nullptr;  // the same connection seen by the server
    bool ready = false;
};

NET_SETTINGS Settings() {
    NET_SETTINGS s;
    s.usr_max = 4;
    s.buf_writeblock = 4096;
    s.thrd_exit = 2000;
    s.srv_newconnect = 20;
    s.srv_waitforflags = 5;
    s.srv_sendlogonrequest = 1000;
    s.srv_checkdeadcon = 1u << 30;
    s.srv_checkdeadcalltime = 1u << 30;
    s.srv_sendalive = 1u << 30;
    s.usr_initnew = 2000;
    s.usr_logoncheck = 1u << 30;
    s.drv_max_payload = 64 * 1024;
    s.srv_bind_addr = 0x7F000001;
    return s;
}

void Pump(World& world, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        world.server.Run();
        world.client.Run();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

World* Build() {
    LOGSYS_MuteAll();
    LOGSYS_DisableFiles();
    InitBL();
    // Received files land in a scratch folder.
    static char pattern[] = "/tmp/vorlane-fuzz-net-XXXXXX";
    if (!mkdtemp(pattern))
        return nullptr;
    std::atexit([] { std::filesystem::remove_all(pattern); });
    auto* world = new World;
    if (world->server.StartWithSettings(&world->api, kModeServer, "", Settings()) != 0 ||
        world->client.StartWithSettings(&world->api, kModeClient, "", Settings()) != 0) {
        return world;
    }
    world->server.driver()->file_dir = pattern;
    world->client.driver()->file_dir = pattern;
    world->client_user = SendLogonRequest(world->client.driver(), "fuzz", "KelArvO",
                                          world->server.driver()->listen_port, 127, 0, 0, 1);
    for (int i = 0; i < 2000 && world->client_user && !world->client_user->address; ++i) {
        Pump(*world, 1);
    }
    NETUSR_ForEach(&world->server.driver()->users,
                   [&](NETUSR* user) { world->server_user = user; });
    uint32_t group = NETGRP_CreateGroup(world->server.driver()->groups, "fuzzers");
    NETGRP_AddMember(world->server.driver()->groups, group, 1);
    world->ready = world->client_user && world->client_user->address && world->server_user;
    if (!world->ready)
        fprintf(stderr, "net kernel fuzz: set-up failed (%p %p)\n", (void*)world->client_user,
                (void*)world->server_user);
    return world;
}

void Drain(NETDRV* driver) {
    while (ENVELOPE* envelope = PopReadQueue(driver)) NET_FreeEnvelope(envelope);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World* world = Build();
    if (!world || !world->ready || size < 13)
        return 0;
    vorlane::ByteReader reader(data, size);
    const bool server = reader.U8() & 1;
    ENVELOPE* envelope = NET_CreateEnvelope(reader.current(), 0);
    envelope->header.type = reader.U32();
    envelope->header.sender = reader.U32();
    envelope->header.receiver = reader.U32();
    envelope->data.assign(reader.current(), reader.current() + reader.remaining());
    envelope->header.length = envelope->data_size();
    NETDRV* driver = server ? world->server.driver() : world->client.driver();
    envelope->user = server ? world->server_user : world->client_user;
    KRNL_HandleEnvelope(driver, envelope);
    // Whatever the server relayed comes back to the client; drop it unhandled
    // so a removal can never take the fixed users away.
    Drain(world->client.driver());
    Drain(world->server.driver());
    return 0;
}
