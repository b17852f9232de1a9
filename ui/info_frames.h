// The clip list, help and about panels (panels 6, 7 and 8), each in a module of its own.
#pragma once

#include "ui/apropos_frame.h"
#include "ui/help_frame.h"
#include "ui/liste_frame.h"
