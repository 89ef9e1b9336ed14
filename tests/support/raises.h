// One check for "this raises that error": EXPECT_TRUE(raises(FoxError::X, [&] { ... })) << row;
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "provider/error.h"

namespace dorvane::test {

// Passes when `action` throws a ProviderError of `code` whose message holds `part`.
template <class Action>
::testing::AssertionResult raises(provider::FoxError code, Action&& action, std::string_view part = {}) {
    try {
        action();
    } catch (const provider::ProviderError& e) {
        if (e.code() != code)
            return ::testing::AssertionFailure() << "raised " << e.number() << ": " << e.message();
        if (e.message().find(part) == std::string::npos)
            return ::testing::AssertionFailure() << "message lacks \"" << part << "\": " << e.message();
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "accepted, no error";
}

template <class Action>
::testing::AssertionResult raises(int number, Action&& action, std::string_view part = {}) {
    return raises(static_cast<provider::FoxError>(number), std::forward<Action>(action), part);
}

}  // namespace dorvane::test
