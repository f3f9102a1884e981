// Checks a function that turns a value into a text against a table of values
// and the texts they must give.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace Velora {
namespace Test {

template <typename Value, typename Function>
void ExpectTexts(Function text, std::initializer_list<std::pair<Value, const wchar_t*>> cases)
{
    for (const auto& c : cases) EXPECT_EQ(text(c.first), c.second) << c.first;
}

} // namespace Test
} // namespace Velora
