#pragma once
// Where each argument of a late-bound call goes in the automation call's
// argument block. The block is easy to get wrong and impossible to see from
// the outside (the server just answers "Type mismatch" or does the wrong
// thing), so the ordering lives here, apart from the Windows types, where it
// can be tested on any platform:
//
//   rgvarg[0 .. named-1]  the named arguments, each with its DISPID in
//                         rgdispidNamedArgs[i]; for a property put the
//                         assigned value comes first, as DISPID_PROPERTYPUT;
//   rgvarg[named .. ]     the positional arguments, last one first.
//
// An Empty argument means "not given": a named one and trailing positional
// ones are left out, so the server applies its defaults; one that holds the
// place of a later positional argument is passed as "missing" (VT_ERROR,
// DISP_E_PARAMNOTFOUND), as Visual Basic passes an omitted argument: an
// empty variant would be taken as a value.

#include "engine/value.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marigal::engine::com {

struct Slot {
    // Which entry of the call's Args fills this slot.
    std::size_t arg;
    // kPositional, kAssignedValue, or the index into CallLayout::names whose
    // DISPID names this argument.
    int name;
};

inline constexpr int kPositional = -1;
inline constexpr int kAssignedValue = -2;  // DISPID_PROPERTYPUT

struct CallLayout {
    // What GetIDsOfNames is asked for, in one call: the member first, then
    // the name of every named argument that is passed.
    std::vector<std::u16string> names;
    // The argument block: rgvarg, index for index.
    std::vector<Slot> block;
    // How many leading slots are named (cNamedArgs).
    std::size_t named = 0;
};

// `propertyPut`: the last argument is the value assigned, whatever its name.
inline CallLayout LayOut(std::u16string_view member, const Args& args, bool propertyPut)
{
    CallLayout out;
    out.names.emplace_back(member);

    std::size_t own = args.size();  // the member's own arguments
    if (propertyPut && own > 0) {
        --own;
        out.block.push_back({own, kAssignedValue});
    }

    std::vector<std::size_t> positional;
    for (std::size_t i = 0; i < own; ++i) {
        const Arg& a = args[i];
        if (!a.named()) {
            positional.push_back(i);
        } else if (!a.value.isEmpty()) {
            out.block.push_back({i, int(out.names.size())});
            out.names.push_back(a.name);
        }
    }
    out.named = out.block.size();

    while (!positional.empty() && args[positional.back()].value.isEmpty()) positional.pop_back();
    for (auto it = positional.rbegin(); it != positional.rend(); ++it) out.block.push_back({*it, kPositional});
    return out;
}

}  // namespace marigal::engine::com
