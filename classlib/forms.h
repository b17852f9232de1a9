// Forms and the application of the class library in one include: forms and frames, the screen and
// the application object. Forms are built in code (no form resources).
#pragma once

#include "classlib/application.h"
#include "classlib/custom_form.h"
