#include "scripting/lua_args.h"

#include <cmath>

namespace vorlane::scripting {

namespace {

// Truncates a float toward zero; empty when no 32-bit integer stands for it.
std::optional<int32_t> TruncateChecked(lua_Number number) {
    const double value = std::trunc(static_cast<double>(number));
    // Written so that NaN fails both comparisons.
    if (!(value >= -2147483648.0 && value <= 2147483647.0))
        return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace

std::optional<int32_t> ToInt32(lua_State* lua, int index) {
    if (lua_isinteger(lua, index)) {
        const lua_Integer value = lua_tointeger(lua, index);
        if (value < INT32_MIN || value > INT32_MAX)
            return std::nullopt;
        return static_cast<int32_t>(value);
    }
    int is_number = 0;
    const lua_Number number = lua_tonumberx(lua, index, &is_number);
    if (!is_number)
        return std::nullopt;
    return TruncateChecked(number);
}

std::optional<int32_t> ToInt32Saturated(lua_State* lua, int index) {
    if (lua_isinteger(lua, index)) {
        const lua_Integer value = lua_tointeger(lua, index);
        if (value > INT32_MAX)
            return INT32_MAX;
        if (value < INT32_MIN)
            return INT32_MIN;
        return static_cast<int32_t>(value);
    }
    int is_number = 0;
    const lua_Number number = lua_tonumberx(lua, index, &is_number);
    if (!is_number)
        return std::nullopt;
    if (std::isnan(number))
        return 0;
    if (number >= 2147483647.0)
        return INT32_MAX;
    if (number <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(std::trunc(number));
}

bool ArgInt(lua_State* lua, int index, int32_t* out) {
    const std::optional<int32_t> value = ToInt32(lua, index);
    if (!value)
        return false;
    *out = *value;
    return true;
}

int32_t OptInt(lua_State* lua, int index, int32_t def) {
    return ToInt32(lua, index).value_or(def);
}

const char* ArgString(lua_State* lua, int index) {
    return lua_type(lua, index) == LUA_TSTRING ? lua_tostring(lua, index) : nullptr;
}

bool ArgBool(lua_State* lua, int index, bool* out) {
    if (!lua_isboolean(lua, index))
        return false;
    *out = lua_toboolean(lua, index) != 0;
    return true;
}

int32_t CheckInt(lua_State* lua, int arg) {
    const std::optional<int32_t> value = ToInt32(lua, arg);
    if (!value) {
        if (lua_isnumber(lua, arg))
            luaL_argerror(lua, arg, "number has no 32-bit integer representation");
        luaL_typeerror(lua, arg, "number");
    }
    return value.value_or(0);
}

int32_t CheckOptInt(lua_State* lua, int arg, int32_t def) {
    return lua_isnoneornil(lua, arg) ? def : CheckInt(lua, arg);
}

}  // namespace vorlane::scripting
