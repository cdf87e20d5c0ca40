// The runtime's misuse errors, as the program links them: the library's text behind
// std::exception, numbers included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instutils/TextError.h"

namespace {

template <typename Action>
std::string ErrorOf(Action action)
{
    try {
        action();
    } catch (const TextError& error) {
        return error.what();
    } catch (...) {
        return "another kind of error";
    }
    return "no error";
}

}  // namespace

TEST(LibraryErrors, MisusedContainersThrowTheLibrarysTextAsATextError)
{
    const std::string text = "ab";
    EXPECT_EQ(ErrorOf([&] { (void)text.at(5); }),
              "basic_string::at: __n (which is 5) >= this->size() (which is 2)");
    EXPECT_EQ(ErrorOf([&] { (void)text.substr(3); }),
              "basic_string::substr: __pos (which is 3) > this->size() (which is 2)");
    const std::vector<int> numbers(3);
    EXPECT_EQ(ErrorOf([&] { (void)numbers.at(4000000000u); }),
              "vector::_M_range_check: __n (which is 4000000000) >= this->size() (which is 3)");
    EXPECT_EQ(ErrorOf([&] { std::string().reserve(std::string().max_size() + 1); }), "basic_string::_M_create");
}
