// NETGRP: groups of users on the server. Group identifiers come from the
// driver's shared ID system; members are user identifiers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/id_system.h"

struct NETDRV;

struct NET_GROUP {
    std::string name;  // "<common talk>" when created without a name
    uint32_t id = 0;
    std::vector<uint32_t> members;
    uint32_t member_count() const { return uint32_t(members.size()); }
};

struct NETGRP {
    std::vector<NET_GROUP> groups;
    uint32_t max_groups = 0;
    ID_SYSTEM* ids = nullptr;  // the driver's, not owned
};

constexpr size_t kGroupNameMax = 31;

NETGRP* NETGRP_Create(uint32_t max_groups, ID_SYSTEM* ids);
void NETGRP_Destroy(NETGRP* handler);
// Identifier of the new group, or 0 when the handler is full. A null or empty
// name gives "<common talk>"; longer names are cut to 31 characters.
uint32_t NETGRP_CreateGroup(NETGRP* handler, const char* name);
NET_GROUP* NETGRP_Find(NETGRP* handler, uint32_t group_id);
int16_t NETGRP_AddMember(NETGRP* handler, uint32_t group_id, uint32_t user_id);
int16_t NETGRP_RemoveMember(NETGRP* handler, uint32_t group_id, uint32_t user_id);
// Takes a user out of every group (when the user goes away).
void NETGRP_RemoveUserEverywhere(NETGRP* handler, uint32_t user_id);
int16_t NETGRP_DeleteGroup(NETGRP* handler, uint32_t group_id);
// Sends `data` as GROUPDATA from the server to every member; 0, or -1 when
// the group is unknown or a send failed.
int16_t NETGRP_SendToAll(NETDRV* driver, uint32_t group_id, const uint8_t* data, uint32_t size);
