// The class and the category of the test filter library that the tests drop on the help panel.
#pragma once

#include <windows.h>

namespace quill_test {

// {6C1E3A2B-51D7-4E0B-9A44-2F0D1B7C5E31}
inline const GUID kDropFilterClsid = {0x6c1e3a2b, 0x51d7, 0x4e0b, {0x9a, 0x44, 0x2f, 0x0d, 0x1b, 0x7c, 0x5e, 0x31}};
// {6C1E3A2C-51D7-4E0B-9A44-2F0D1B7C5E31}: listed by no one but these tests.
inline const GUID kDropFilterCategory = {0x6c1e3a2c, 0x51d7, 0x4e0b, {0x9a, 0x44, 0x2f, 0x0d, 0x1b, 0x7c, 0x5e, 0x31}};

}  // namespace quill_test
