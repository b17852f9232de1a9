// The class library's window core in one include: the control base, windowed controls, controls
// that paint themselves and the hint window.
#pragma once

#include "classlib/control.h"
#include "classlib/custom_controls.h"
#include "classlib/hint_window.h"
#include "classlib/win_control.h"
