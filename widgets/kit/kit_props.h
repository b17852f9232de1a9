// Published-property entries of the kit's components, built from a getter and a setter of the
// component's own class, for the component streams.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "classlib/filer.h"

namespace widgets::kit {

template <typename T>
classlib::TPropInfo BoolProp(const wchar_t* Name, std::function<bool(T*)> Get, std::function<void(T*, bool)> Set,
                             bool Default) {
    classlib::TPropInfo p;
    p.Name = Name;
    p.Kind = classlib::tkEnumeration;
    p.EnumNames = {L"False", L"True"};
    p.Default = Default ? 1 : 0;
    p.Getter = [Get](classlib::TPersistent* i) -> classlib::TPropValue {
        return static_cast<std::int64_t>(Get(static_cast<T*>(i)));
    };
    p.Setter = [Set](classlib::TPersistent* i, const classlib::TPropValue& v) {
        if (const auto* n = std::get_if<std::int64_t>(&v)) Set(static_cast<T*>(i), *n != 0);
    };
    return p;
}

// An integer or, with Names, an enumeration whose ordinal is the value.
template <typename T>
classlib::TPropInfo IntProp(const wchar_t* Name, std::function<std::int64_t(T*)> Get,
                            std::function<void(T*, std::int64_t)> Set, std::int32_t Default,
                            std::vector<std::wstring> Names = {}) {
    classlib::TPropInfo p;
    p.Name = Name;
    p.Kind = Names.empty() ? classlib::tkInteger : classlib::tkEnumeration;
    p.EnumNames = std::move(Names);
    p.Default = Default;
    p.Getter = [Get](classlib::TPersistent* i) -> classlib::TPropValue { return Get(static_cast<T*>(i)); };
    p.Setter = [Set](classlib::TPersistent* i, const classlib::TPropValue& v) {
        if (const auto* n = std::get_if<std::int64_t>(&v)) Set(static_cast<T*>(i), *n);
    };
    return p;
}

}  // namespace widgets::kit
