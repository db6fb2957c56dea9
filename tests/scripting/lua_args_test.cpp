// The one conversion of Lua numbers to integers: what the bindings get for
// NaN, infinities and values beyond 32 bits (the sanitizer build runs these).
#include "scripting/lua_args.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "scripting/lua_glue.h"

using namespace vorlane::scripting;

namespace {

TEST(LuaArgs, IntegersAreCheckedOrSaturatedNeverWrapped) {
    LuaStatePtr lua(LUA_CreateState());
    ASSERT_TRUE(lua);
    struct Case {
        const char* value;
        std::optional<int32_t> checked, saturated;
    };
    const Case cases[] = {
        {"3.9", 3, 3},
        {"-3.9", -3, -3},
        {"'12'", 12, 12},
        {"2147483647", INT32_MAX, INT32_MAX},
        {"-2147483648", INT32_MIN, INT32_MIN},
        {"2147483648", std::nullopt, INT32_MAX},
        {"2^31", std::nullopt, INT32_MAX},
        {"-2^31 - 1", std::nullopt, INT32_MIN},
        {"math.mininteger", std::nullopt, INT32_MIN},
        {"1e300", std::nullopt, INT32_MAX},
        {"-1/0", std::nullopt, INT32_MIN},
        {"0/0", std::nullopt, 0},
        {"'abc'", std::nullopt, std::nullopt},
        {"true", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        std::string chunk = std::string("return ") + c.value;
        ASSERT_EQ(luaL_dostring(lua.get(), chunk.c_str()), LUA_OK) << c.value;
        EXPECT_EQ(ToInt32(lua.get(), -1), c.checked) << c.value;
        EXPECT_EQ(ToInt32Saturated(lua.get(), -1), c.saturated) << c.value;
        lua_settop(lua.get(), 0);
    }
}

TEST(LuaArgs, CheckFormsRaiseErrorsThatNameTheArgument) {
    LuaStatePtr lua(LUA_CreateState());
    lua_register(lua.get(), "f", [](lua_State* l) {
        lua_pushinteger(l, CheckInt(l, 1) + CheckOptInt(l, 2, 5));
        return 1;
    });
    auto error_of = [&](const char* chunk) {
        std::string message;
        if (luaL_dostring(lua.get(), chunk) != LUA_OK)
            message = lua_tostring(lua.get(), -1);
        lua_settop(lua.get(), 0);
        return message;
    };
    EXPECT_EQ(error_of("assert(f(1) == 6 and f(1.5, 2) == 3)"), "");
    EXPECT_NE(error_of("f(0/0)").find("bad argument #1"), std::string::npos);
    EXPECT_NE(error_of("f(1, 2^40)").find("bad argument #2"), std::string::npos);
    EXPECT_NE(error_of("f('x')").find("number expected"), std::string::npos);
}

}  // namespace
