#include "base/DialogNumbers.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

namespace {

class DialogWithEdit : public testing::Test {
protected:
    void SetUp() override
    {
        dialog_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(dialog_, nullptr);
        edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 150, 20, dialog_, reinterpret_cast<HMENU>(100),
                                nullptr, nullptr);
        ASSERT_NE(edit_, nullptr);
    }
    void TearDown() override { DestroyWindow(dialog_); }

    std::wstring Text() const
    {
        wchar_t text[400] = {};
        GetWindowTextW(edit_, text, 400);
        return text;
    }

    HWND dialog_ = nullptr;
    HWND edit_ = nullptr;
};

TEST_F(DialogWithEdit, WritesEightSignificantDigits)
{
    struct Case {
        double value;
        const wchar_t* text;
    } cases[] = {{3.14159265358, L"3.1415927"}, {-0.5, L"-0.5"}, {1234567.891, L"1234567.9"}};
    for (const auto& c : cases) {
        EXPECT_TRUE(SetDlgItemDouble(dialog_, 100, c.value));
        EXPECT_EQ(Text(), c.text);
        double read = 0;
        EXPECT_DOUBLE_EQ(GetDlgItemDouble(dialog_, 100, read), wcstod(c.text, nullptr));
        EXPECT_DOUBLE_EQ(read, wcstod(c.text, nullptr));
    }
    EXPECT_FALSE(SetDlgItemDouble(dialog_, 999, 1.0)) << "no such item";
}

TEST_F(DialogWithEdit, ReadsTheLeadingNumberOfTheText)
{
    struct Case {
        const wchar_t* text;
        double value;
    } cases[] = {{L"12.5kg", 12.5}, {L"", 0}, {L"abc", 0}, {L"  -3e2", -300}, {L"1,5", 1}};
    for (const auto& c : cases) {
        SetWindowTextW(edit_, c.text);
        double read = 99;
        EXPECT_DOUBLE_EQ(GetDlgItemDouble(dialog_, 100, read), c.value) << testing::PrintToString(std::wstring(c.text));
        EXPECT_DOUBLE_EQ(read, c.value);
    }
    double read = 99;
    EXPECT_DOUBLE_EQ(GetDlgItemDouble(dialog_, 999, read), 0);
}

}  // namespace
