// The overlay switch, the system report and the clip browser: empty until the remaining panels are
// built.
#include "ui/capture_form.h"

namespace ui {

void TCaptureForm::ShowSystemInfo() {}
void TCaptureForm::acPelorinExecute(classlib::TObject* /*Sender*/) {}

}  // namespace ui
