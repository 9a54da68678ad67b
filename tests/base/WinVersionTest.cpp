#include "base/WinVersion.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "FakeSystem.h"

namespace {

TEST(GetOsVersion, ReportsTheRunningSystem)
{
    ResetOsVersionCacheForTesting();
    OSVERSIONINFOEXW info;
    ASSERT_TRUE(GetOsVersion(info));
    EXPECT_EQ(info.dwOSVersionInfoSize, 284u);
    EXPECT_GE(info.dwMajorVersion, 6u);
    EXPECT_EQ(IsWindows10OrLater(), info.dwMajorVersion >= 10);
}

TEST(GetOsVersion, AsksTheSystemOnceAndKeepsTheRecord)
{
    FakeSystem system(6, 3);
    OSVERSIONINFOEXW first;
    OSVERSIONINFOEXW second;
    memset(&second, 0xCD, sizeof second);
    ASSERT_TRUE(GetOsVersion(first));
    ASSERT_TRUE(GetOsVersion(second));
    EXPECT_EQ(FakeSystem::VersionQueries(), 1);
    EXPECT_EQ(memcmp(&first, &second, sizeof first), 0);
    EXPECT_EQ(second.dwMajorVersion, 6u);
    EXPECT_EQ(second.dwMinorVersion, 3u);
    EXPECT_EQ(second.dwOSVersionInfoSize, 284u);
}

TEST(GetOsVersion, AFailedQueryIsReportedAndNotKept)
{
    FakeSystem system(10, 0);
    FakeSystem::SetVersionStatus(static_cast<LONG>(0xC0000001));
    OSVERSIONINFOEXW info;
    EXPECT_FALSE(GetOsVersion(info));
    EXPECT_FALSE(GetOsVersion(info)) << "a failure must not turn into a cached success";
    EXPECT_EQ(FakeSystem::VersionQueries(), 2);
    EXPECT_FALSE(IsWindows10OrLater());

    FakeSystem::SetVersionStatus(0);
    ASSERT_TRUE(GetOsVersion(info));
    EXPECT_EQ(info.dwMajorVersion, 10u);
}

TEST(GetOsVersion, FailsWithoutRtlGetVersion)
{
    FakeSystem system(10, 0);
    system.Remove("RtlGetVersion");
    OSVERSIONINFOEXW info;
    EXPECT_FALSE(GetOsVersion(info));
    EXPECT_EQ(info.dwOSVersionInfoSize, 284u);
    EXPECT_EQ(info.dwMajorVersion, 0u);
}

TEST(IsOsVersionAtLeast, ComparesMajorThenMinor)
{
    FakeSystem system(6, 3);
    EXPECT_TRUE(IsOsVersionAtLeast(6, 2));
    EXPECT_TRUE(IsOsVersionAtLeast(6, 3));
    EXPECT_TRUE(IsWindows81OrLater());
    EXPECT_FALSE(IsOsVersionAtLeast(6, 4));
    EXPECT_FALSE(IsWindows10OrLater());
    EXPECT_TRUE(IsOsVersionAtLeast(5, 9));
}

}  // namespace
