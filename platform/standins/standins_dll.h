// The stand-in DLL's template list: each stand-in module adds its filters with a
// TStandinRegistrar object, so the DLL's exports serve and register every module's filters.
#pragma once

#include <functional>

#include "filters/base_com.h"

namespace standins {

// Adds the entries made by Add to the DLL's template list when the DLL loads. OnRegister, when given,
// runs after the templates are registered (true) or before they are unregistered (false); its false
// answer fails the registration.
class TStandinRegistrar {
public:
    explicit TStandinRegistrar(const std::function<void(filters::TBCFilterTemplate&)>& Add,
                               std::function<bool(bool doRegister)> OnRegister = nullptr);
};

}  // namespace standins
