// Reading the arguments of the native functions that scripts call, in one
// place: checked integers, strings and booleans.
//
// Two families. The program's own functions never raise a Lua error: when an
// argument is wrong they log their own message and return nothing. Their
// checks (ArgInt, OptInt, ArgString, ArgBool) only answer and leave the
// message to the caller. The Check* forms raise a Lua error the way lauxlib
// does, for functions that report errors to the script (the autopilot). A
// raised error jumps over the C++ frames below it without running their
// destructors, so such a function checks all its arguments before it makes
// anything that has one.
//
// Numbers. Every conversion of a Lua number to a C++ integer goes through
// ToInt32: a number, or a string Lua converts to one, truncated toward zero
// when the result fits in 32 bits. NaN, the infinities and values beyond
// the 32-bit range stand for no integer a script could mean, so they are
// refused like any other non-number, with the function's own message. Only
// readers whose receiver checks its own range (the table settings, e.g. a
// size that SetSize refuses) saturate instead (ToInt32Saturated).
#pragma once

#include <cstdint>
#include <lua.hpp>
#include <optional>

namespace vorlane::scripting {

// The value at `index` as a checked 32-bit integer (above), or empty.
std::optional<int32_t> ToInt32(lua_State* lua, int index);
// The same, but a number beyond the range gives the nearest bound and NaN
// gives 0; empty only for values that are no number.
std::optional<int32_t> ToInt32Saturated(lua_State* lua, int index);

// True when argument `index` is a number or a numeric string (the test of
// lua_isnumber), whether or not it holds a usable integer.
inline bool IsNumberArg(lua_State* lua, int index) {
    return lua_isnumber(lua, index) != 0;
}
// Stores argument `index` as a checked integer in `out`; false (and `out`
// untouched) for anything else.
bool ArgInt(lua_State* lua, int index, int32_t* out);
// Argument `index` as a checked integer, or `def` when it is absent or not a
// number. A number that is no integer (NaN, out of range) also gives `def`.
int32_t OptInt(lua_State* lua, int index, int32_t def);
// The text of a string argument, or null: numbers do not count (unlike
// lua_isstring), a script must pass a name as a string.
const char* ArgString(lua_State* lua, int index);
// Stores a boolean argument in `out`; false for any other type (numbers and
// nil are no booleans).
bool ArgBool(lua_State* lua, int index, bool* out);

// lauxlib forms: the checked integer of argument `arg`, else a Lua error
// naming the argument. The Opt form gives `def` for an absent or nil argument.
int32_t CheckInt(lua_State* lua, int arg);
int32_t CheckOptInt(lua_State* lua, int arg, int32_t def);

}  // namespace vorlane::scripting
