// The class library's standard controls in one include: label, edit, combo box, push button,
// check box, radio button, group box and radio group. ANSI texts, system window classes (EDIT,
// COMBOBOX, BUTTON); the wide controls derive from these bases.
#pragma once

#include "classlib/forms.h"
#include "classlib/std_buttons.h"
#include "classlib/std_combo_box.h"
#include "classlib/std_edit.h"
#include "classlib/std_group_boxes.h"
#include "classlib/std_label.h"
#include "classlib/std_list_box.h"
#include "classlib/std_memo.h"
#include "classlib/std_text.h"
#include "classlib/timer.h"  // EOutOfResources
