// The stand-in DLL's template list: each stand-in module adds its filters with a
// TStandinRegistrar object, so the DLL's exports serve and register every module's filters.
#pragma once

#include <functional>

#include "filters/base_com.h"

namespace standins {

// Adds the entries made by Add to the DLL's template list when the DLL loads.
class TStandinRegistrar {
public:
    explicit TStandinRegistrar(const std::function<void(filters::TBCFilterTemplate&)>& Add);
};

}  // namespace standins
