#include "base/ResourceUtils.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "TestResourceModule.h"

namespace {

const std::vector<unsigned char> kBlob = {'r', 'e', 's', 0, 1, 2, 3, 0xFF, 0x80, '!'};

class ResourceData : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module_ = new TestResourceModule({{RT_RCDATA, MAKEINTRESOURCEW(7), kBlob},
                                          {L"DATA", L"BLOB", {'x', 'y'}}});
    }
    static void TearDownTestSuite()
    {
        delete module_;
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_->Get(), nullptr) << "the test resources could not be made"; }

    static inline TestResourceModule* module_ = nullptr;
};

TEST_F(ResourceData, AsksTheSizeThenCopies)
{
    DWORD size = 0;
    EXPECT_EQ(LoadResourceData(module_->Get(), MAKEINTRESOURCEW(7), RT_RCDATA, nullptr, &size), 1);
    ASSERT_EQ(size, kBlob.size());

    std::vector<unsigned char> buffer(size + 4, 0xEE);
    EXPECT_EQ(LoadResourceData(module_->Get(), MAKEINTRESOURCEW(7), RT_RCDATA, buffer.data(), &size), 1);
    EXPECT_TRUE(std::equal(kBlob.begin(), kBlob.end(), buffer.begin()));
    EXPECT_EQ(buffer[size], 0xEE);

    size = 0;
    EXPECT_EQ(LoadResourceData(module_->Get(), L"BLOB", L"DATA", nullptr, &size), 1);
    EXPECT_EQ(size, 2u);
}

TEST_F(ResourceData, RefusesASmallBufferAndMissingResources)
{
    std::vector<unsigned char> buffer(kBlob.size(), 0xEE);
    DWORD size = static_cast<DWORD>(kBlob.size() - 1);
    EXPECT_EQ(LoadResourceData(module_->Get(), MAKEINTRESOURCEW(7), RT_RCDATA, buffer.data(), &size), 0);
    EXPECT_EQ(buffer, std::vector<unsigned char>(kBlob.size(), 0xEE));

    size = 1234;
    EXPECT_EQ(LoadResourceData(module_->Get(), MAKEINTRESOURCEW(8), RT_RCDATA, nullptr, &size), 0);
    EXPECT_EQ(LoadResourceData(module_->Get(), MAKEINTRESOURCEW(7), RT_BITMAP, nullptr, &size), 0);
    EXPECT_EQ(size, 1234u);
    EXPECT_EQ(LoadResourceData(module_->Get(), MAKEINTRESOURCEW(7), RT_RCDATA, nullptr, nullptr), 0);
}

}  // namespace
