// The menu tags: the numbers a menu script gives its objects (`tag =
// vrlmenu.MENU_TAG_LOGIN_LOGIN`) and the main map's dispatcher tells the
// objects apart by. The enumeration is the one list of them; the `vrlmenu`
// table the scripts see is built from it.
#pragma once

#include <cstdint>

enum MENU_TAG : int32_t {
    MENU_TAG_NONE = 0,
    MENU_TAG_LOGIN_LOGIN = 1,
    MENU_TAG_LOGIN_CREATE = 2,
    MENU_TAG_LOGIN_BACK = 3,
    MENU_TAG_LOGIN_ERROROK = 4,
    MENU_TAG_PROFILE_BACK = 5,
    MENU_TAG_PROFILE_SELECT = 6,
    MENU_TAG_PROFILE_SHOWMODIFY = 7,
    MENU_TAG_PROFILE_OVERCREATE = 8,
    MENU_TAG_PROFILE_LIST = 9,
    MENU_TAG_PROFILE_YES = 10,
    MENU_TAG_PROFILE_NO = 11,
    MENU_TAG_PROFMOD_LEFT = 12,
    MENU_TAG_PROFMOD_RIGHT = 13,
    MENU_TAG_CHANNEL_BACK = 14,
    MENU_TAG_CHANNEL_SELECT = 15,
    MENU_TAG_CHANNEL_LIST = 16,
    MENU_TAG_CHANNEL_ERROROK = 17,
    MENU_TAG_LOBBY_CREATE = 18,
    MENU_TAG_LOBBY_JOIN = 19,
    MENU_TAG_LOBBY_PRIVATE = 20,
    MENU_TAG_LOBBY_TOALL = 21,
    MENU_TAG_LOBBY_IGNORE = 22,
    MENU_TAG_LOBBY_BACK = 23,
    MENU_TAG_LOBBY_SEND = 24,
    MENU_TAG_LOBBY_CHATINPUT = 25,
    MENU_TAG_LOBBY_SHOWPROFILE = 26,
    MENU_TAG_LOBBY_PROFILEOK = 27,
    MENU_TAG_LOBBY_USERLIST = 28,
    MENU_TAG_LAN_CREATE = 29,
    MENU_TAG_LAN_JOIN = 30,
    MENU_TAG_LAN_BACK = 31,
    MENU_TAG_GAME_BACK = 32,
    MENU_TAG_GAME_CREATE = 33,
    MENU_TAG_GAME_MISSIONLIST = 34,
    MENU_TAG_LOGIN_CANCEL = 35,
    MENU_TAG_LOBBY_REJOIN = 36,
};

// One (name, value) pair of an enumeration; a null name ends the list.
struct MENU_LUA_ENUM {
    const char* name;
    uint32_t value;
};

// The menu-tag enumeration `vrlmenu`, in registration order.
extern const MENU_LUA_ENUM kMenuTagEnums[];
