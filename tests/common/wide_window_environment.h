// Test helper: the program's process set-up for windows of the wide controls, once per test
// executable (wide platform, wide control classes, the application object) and its undoing.
#pragma once

#include <gtest/gtest.h>

#include "classlib/application.h"
#include "unicode/wide_platform.h"
#include "widgets/unicode/uc_forms.h"

namespace quill_test {

class WideWindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        unicode::InitializeWidePlatform();
        widgets::InitializeWideControls();
        classlib::Application()->Initialize();
    }
    void TearDown() override {
        widgets::FinalizeWideControls();
        classlib::DoneApplication();
    }
};

}  // namespace quill_test
