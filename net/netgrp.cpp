#include "net/netgrp.h"

#include <algorithm>
#include <new>

#include "net/net_protocol.h"
#include "net/netdrv.h"

NETGRP* NETGRP_Create(uint32_t max_groups, ID_SYSTEM* ids) {
    auto* handler = new (std::nothrow) NETGRP;
    if (!handler)
        return nullptr;
    handler->max_groups = max_groups;
    handler->ids = ids;
    return handler;
}

void NETGRP_Destroy(NETGRP* handler) {
    if (!handler)
        return;
    for (const NET_GROUP& group : handler->groups) ID_Release(handler->ids, group.id);
    delete handler;
}

uint32_t NETGRP_CreateGroup(NETGRP* handler, const char* name) {
    if (!handler || handler->groups.size() >= handler->max_groups)
        return 0;
    uint32_t id = ID_Get(handler->ids);
    if (id == 0)
        return 0;
    NET_GROUP group;
    group.id = id;
    group.name = (name && *name) ? std::string(name).substr(0, kGroupNameMax) : "<common talk>";
    handler->groups.push_back(std::move(group));
    return id;
}

NET_GROUP* NETGRP_Find(NETGRP* handler, uint32_t group_id) {
    if (!handler)
        return nullptr;
    for (NET_GROUP& group : handler->groups) {
        if (group.id == group_id)
            return &group;
    }
    return nullptr;
}

int16_t NETGRP_AddMember(NETGRP* handler, uint32_t group_id, uint32_t user_id) {
    NET_GROUP* group = NETGRP_Find(handler, group_id);
    if (!group)
        return -1;
    if (std::find(group->members.begin(), group->members.end(), user_id) == group->members.end()) {
        group->members.push_back(user_id);
    }
    return 0;
}

int16_t NETGRP_RemoveMember(NETGRP* handler, uint32_t group_id, uint32_t user_id) {
    NET_GROUP* group = NETGRP_Find(handler, group_id);
    if (!group)
        return -1;
    auto it = std::find(group->members.begin(), group->members.end(), user_id);
    if (it == group->members.end())
        return -1;
    group->members.erase(it);
    return 0;
}

void NETGRP_RemoveUserEverywhere(NETGRP* handler, uint32_t user_id) {
    if (!handler)
        return;
    for (NET_GROUP& group : handler->groups) {
        std::erase(group.members, user_id);
    }
}

int16_t NETGRP_DeleteGroup(NETGRP* handler, uint32_t group_id) {
    if (!handler)
        return -1;
    auto it = std::find_if(handler->groups.begin(), handler->groups.end(),
                           [&](const NET_GROUP& group) { return group.id == group_id; });
    if (it == handler->groups.end())
        return -1;
    ID_Release(handler->ids, it->id);
    handler->groups.erase(it);
    return 0;
}

int16_t NETGRP_SendToAll(NETDRV* driver, uint32_t group_id, const uint8_t* data, uint32_t size) {
    NET_GROUP* group = NETGRP_Find(driver ? driver->groups : nullptr, group_id);
    if (!group)
        return -1;
    int16_t result = 0;
    for (uint32_t member : group->members) {
        if (SendSingleMessage(driver, NET_ID_SERVER, member, NET_MSGTYPE_GROUPDATA, data, size) !=
            0) {
            result = -1;
        }
    }
    return result;
}
