// Test helper: the message of the exception of type E that a call raises.
#pragma once

#include <string>

namespace quill_test {

// The Message() of the E raised by f, or "<no exception>" when f returns normally.
template <typename E, typename F>
std::wstring MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return L"<no exception>";
}

}  // namespace quill_test
