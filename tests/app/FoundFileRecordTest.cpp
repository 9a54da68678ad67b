// Utilities on arrays of found-file records: sorting by every key in both directions, removing,
// growing, and the three path searches over empty, single, many and duplicate records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/FoundFileRecord.h"

namespace {

FILETIME Time(uint64_t value)
{
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

FoundFileRecord Record(const wchar_t* path, uint64_t size = 0, uint64_t lastWrite = 0, uint64_t date = 0,
                       uint8_t type = 0)
{
    FoundFileRecord record{};
    wcsncpy(record.path, path, MAX_PATH - 1);
    record.size = size;
    record.lastWrite = Time(lastWrite);
    record.date = Time(date);
    record.type = type;
    return record;
}

std::vector<std::wstring> Paths(const std::vector<FoundFileRecord>& records)
{
    std::vector<std::wstring> paths;
    for (const FoundFileRecord& record : records)
        paths.push_back(record.path);
    return paths;
}

// Five records whose keys order them differently: by path a<b<c<d<e, by size e<d<c<b<a, by last
// write c<a<e<b<d, by date b<d<a<c<e, by type (c, e type 0; a, b, d type 1) then date c<e<b<d<a.
std::vector<FoundFileRecord> Mixed()
{
    return {Record(L"C:\\x\\c.jpg", 300, 10, 40, 0), Record(L"C:\\x\\a.jpg", 500, 20, 30, 1),
            Record(L"C:\\x\\e.jpg", 100, 30, 50, 0), Record(L"C:\\x\\b.jpg", 400, 40, 10, 1),
            Record(L"C:\\x\\d.jpg", 200, 50, 20, 1)};
}

}  // namespace

TEST(FoundFileRecords, SortByEveryKeyInBothDirections)
{
    struct Case {
        int key;
        std::vector<std::wstring> ascending;  // names; descending is the reverse
    } cases[] = {
        {kSortByPath, {L"a", L"b", L"c", L"d", L"e"}},
        {kSortBySize, {L"e", L"d", L"c", L"b", L"a"}},
        {kSortByLastWrite, {L"c", L"a", L"e", L"b", L"d"}},
        {kSortByDate, {L"b", L"d", L"a", L"c", L"e"}},
        {kSortByTypeThenDate, {L"c", L"e", L"b", L"d", L"a"}},
    };
    for (const Case& c : cases) {
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(testing::Message() << "key " << c.key << (ascending ? " ascending" : " descending"));
            std::vector<FoundFileRecord> records = Mixed();
            SortFoundFileRecords(records.data(), records.size(), c.key, ascending);
            std::vector<std::wstring> expected;
            for (const std::wstring& name : c.ascending)
                expected.push_back(L"C:\\x\\" + name + L".jpg");
            if (!ascending)
                std::reverse(expected.begin(), expected.end());
            EXPECT_EQ(Paths(records), expected);
        }
    }
}

TEST(FoundFileRecords, TypeKeyPutsUntypedRecordsFirstAndKeepsTheDateDirection)
{
    std::vector<FoundFileRecord> records = {Record(L"t2-late", 0, 0, 90, 2), Record(L"t0-late", 0, 0, 80, 0),
                                            Record(L"t2-early", 0, 0, 5, 2), Record(L"t0-early", 0, 0, 7, 0)};
    SortFoundFileRecords(records.data(), records.size(), kSortByTypeThenDate, true);
    EXPECT_EQ(Paths(records), (std::vector<std::wstring>{L"t0-early", L"t0-late", L"t2-early", L"t2-late"}));
    SortFoundFileRecords(records.data(), records.size(), kSortByTypeThenDate, false);
    EXPECT_EQ(Paths(records), (std::vector<std::wstring>{L"t2-late", L"t2-early", L"t0-late", L"t0-early"}));
}

TEST(FoundFileRecords, SortEdgesLeaveTheArrayWhole)
{
    // Empty, one record, duplicates and refused keys.
    SortFoundFileRecords(nullptr, 5, kSortByPath, true);
    std::vector<FoundFileRecord> one = {Record(L"only", 7)};
    SortFoundFileRecords(one.data(), 1, kSortBySize, false);
    EXPECT_EQ(Paths(one), std::vector<std::wstring>{L"only"});

    std::vector<FoundFileRecord> records = Mixed();
    for (int key : {-1, 5, 100}) {
        SortFoundFileRecords(records.data(), records.size(), key, true);
        EXPECT_EQ(Paths(records), Paths(Mixed())) << "key " << key;
    }
    SortFoundFileRecords(records.data(), 0, kSortByPath, true);
    EXPECT_EQ(Paths(records), Paths(Mixed()));

    std::vector<FoundFileRecord> duplicates = {Record(L"B", 2), Record(L"a", 1), Record(L"b", 2), Record(L"A", 1),
                                               Record(L"b", 2)};
    SortFoundFileRecords(duplicates.data(), duplicates.size(), kSortBySize, true);
    ASSERT_EQ(duplicates.size(), 5u);
    EXPECT_EQ(duplicates[0].size + duplicates[1].size, 2u);
    EXPECT_EQ(duplicates[2].size + duplicates[3].size + duplicates[4].size, 6u);
    SortFoundFileRecords(duplicates.data(), duplicates.size(), kSortByPath, false);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(towlower(duplicates[i].path[0]), L'b');
}

TEST(FoundFileRecords, PathOrderIsNaturalOnlyWhenAskedFor)
{
    const FoundFileRecord nine = Record(L"C:\\x\\file9.jpg"), ten = Record(L"C:\\x\\File10.jpg");
    EXPECT_LT(CompareFoundFileRecords(nine, ten, kSortByPath, true), 0);
    EXPECT_GT(CompareFoundFileRecords(nine, ten, kSortByPath, false), 0);
    EXPECT_EQ(CompareFoundFileRecords(Record(L"ABC"), Record(L"abc"), kSortByPath, true), 0);
    EXPECT_EQ(CompareFoundFileRecords(Record(L"ABC"), Record(L"abc"), kSortByPath, false), 0);
    EXPECT_EQ(CompareFoundFileRecords(nine, ten, 9, true), 0);

    // The running system is Windows 7 or later: the sort takes the natural order.
    std::vector<FoundFileRecord> records = {ten, nine};
    SortFoundFileRecords(records.data(), records.size(), kSortByPath, true);
    EXPECT_EQ(Paths(records), (std::vector<std::wstring>{L"C:\\x\\file9.jpg", L"C:\\x\\File10.jpg"}));
}

TEST(FoundFileRecords, RemoveMovesTheLaterRecordsUp)
{
    std::vector<FoundFileRecord> records = {Record(L"0"), Record(L"1"), Record(L"2")};
    size_t count = 3;
    ASSERT_TRUE(RemoveFoundFileRecord(records.data(), 0, count));
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(records[0].path, L"1");
    EXPECT_STREQ(records[1].path, L"2");
    ASSERT_TRUE(RemoveFoundFileRecord(records.data(), 1, count));
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(records[0].path, L"1");

    EXPECT_FALSE(RemoveFoundFileRecord(records.data(), 1, count));  // past the last record
    EXPECT_EQ(count, 1u);
    EXPECT_FALSE(RemoveFoundFileRecord(nullptr, 0, count));
    ASSERT_TRUE(RemoveFoundFileRecord(records.data(), 0, count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(RemoveFoundFileRecord(records.data(), 0, count));
}

TEST(FoundFileRecords, AppendAndResizeGrowIntoNewZeroedArrays)
{
    std::unique_ptr<FoundFileRecord[]> records;
    size_t count = 0;
    ASSERT_TRUE(AppendFoundFileRecord(records, Record(L"first", 1), count));
    ASSERT_TRUE(AppendFoundFileRecord(records, Record(L"second", 2), count));
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(records[0].path, L"first");
    EXPECT_EQ(records[1].size, 2u);

    ASSERT_TRUE(ResizeFoundFileRecords(records, count, 3));
    EXPECT_STREQ(records[1].path, L"second");
    const FoundFileRecord zero{};
    for (size_t i = 2; i < 5; ++i)
        EXPECT_EQ(std::memcmp(&records[i], &zero, sizeof(zero)), 0);

    // Shrinking keeps the first records.
    ASSERT_TRUE(ResizeFoundFileRecords(records, 1, 0));
    EXPECT_STREQ(records[0].path, L"first");

    // Sizes are checked before anything is allocated or replaced.
    FoundFileRecord* before = records.get();
    EXPECT_FALSE(ResizeFoundFileRecords(records, 1, SIZE_MAX));
    EXPECT_FALSE(ResizeFoundFileRecords(records, SIZE_MAX, 1));
    size_t huge = SIZE_MAX;
    EXPECT_FALSE(AppendFoundFileRecord(records, Record(L"x"), huge));
    EXPECT_EQ(huge, SIZE_MAX);
    EXPECT_EQ(records.get(), before);

    std::unique_ptr<FoundFileRecord[]> none;
    size_t claimed = 4;
    EXPECT_FALSE(AppendFoundFileRecord(none, Record(L"x"), claimed));
    EXPECT_FALSE(ResizeFoundFileRecords(none, 4, 1));
    EXPECT_EQ(claimed, 4u);
    EXPECT_TRUE(ResizeFoundFileRecords(none, 0, 2));
    EXPECT_EQ(none[1].path[0], L'\0');
}

TEST(FoundFileRecords, SearchesAgreeOverEmptySingleManyAndDuplicateRecords)
{
    auto many = [](size_t n) {
        std::vector<FoundFileRecord> records;
        for (size_t i = 0; i < n; ++i)
            records.push_back(Record((L"C:\\scan\\VSTScan" + std::to_wstring(i) + L".jpg").c_str()));
        return records;
    };
    struct Case {
        const char* name;
        std::vector<FoundFileRecord> records;
        std::wstring path;
        long long first;  // index of the first match, -1 when none
    } cases[] = {
        {"empty", {}, L"C:\\scan\\VSTScan0.jpg", -1},
        {"one", many(1), L"c:\\SCAN\\vstscan0.JPG", 0},
        {"one, other path", many(1), L"C:\\scan\\VSTScan1.jpg", -1},
        {"many, first", many(40), L"C:\\scan\\VSTScan0.jpg", 0},
        {"many, last", many(500), L"C:\\scan\\VSTScan499.jpg", 499},
        {"many, absent", many(40), L"C:\\scan\\VSTScan40.jpg", -1},
        {"strided, middle", many(1000), L"C:\\scan\\VSTScan517.jpg", 517},
        {"strided, last", many(1000), L"C:\\scan\\VSTScan999.jpg", 999},
        {"strided, absent", many(1234), L"C:\\scan\\none.jpg", -1},
        {"strided, odd count", many(501), L"C:\\scan\\VSTScan450.jpg", 450},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t index = 12345;
        const bool found = FindFoundFileRecord(c.records.data(), c.records.size(), c.path.c_str(), index);
        EXPECT_EQ(found, c.first >= 0);
        if (found) {
            EXPECT_EQ(static_cast<long long>(index), c.first);
        }
        size_t vectorIndex = 12345;
        EXPECT_EQ(FindFoundFileRecordInVector(c.records, c.path.c_str(), vectorIndex), c.first >= 0);
        if (c.first >= 0) {
            EXPECT_EQ(static_cast<long long>(vectorIndex), c.first);
        }
        const uint32_t strided =
            FindFoundFileRecordStrided(c.records.data(), static_cast<uint32_t>(c.records.size()), c.path.c_str());
        EXPECT_EQ(strided, c.first >= 0 ? static_cast<uint32_t>(c.first) : kFoundFileRecordNotFound);
    }

    // Every record of a large array is reached by the strided search.
    std::vector<FoundFileRecord> records = many(777);
    for (uint32_t i = 0; i < 777; ++i)
        ASSERT_EQ(FindFoundFileRecordStrided(records.data(), 777, records[i].path), i);

    // Duplicates: the plain searches find the first, the strided one some equal record.
    records[100] = records[600] = Record(L"C:\\scan\\twin.jpg");
    size_t index = 0;
    ASSERT_TRUE(FindFoundFileRecord(records.data(), records.size(), L"C:\\SCAN\\TWIN.JPG", index));
    EXPECT_EQ(index, 100u);
    const uint32_t strided = FindFoundFileRecordStrided(records.data(), 777, L"C:\\scan\\twin.jpg");
    EXPECT_TRUE(strided == 100 || strided == 600);

    // Null arguments.
    EXPECT_FALSE(FindFoundFileRecord(nullptr, 3, L"x", index));
    EXPECT_FALSE(FindFoundFileRecord(records.data(), records.size(), nullptr, index));
    EXPECT_EQ(FindFoundFileRecordStrided(nullptr, 3, L"x"), kFoundFileRecordNotFound);
    EXPECT_EQ(FindFoundFileRecordStrided(records.data(), 777, nullptr), kFoundFileRecordNotFound);
}

TEST(FoundFileRecords, APathFillingItsWholeBufferIsReadNoFurther)
{
    // No terminator inside the path: the search and the sort stop at the buffer's end.
    FoundFileRecord full{};
    for (wchar_t& unit : full.path)
        unit = L'a';
    full.size = 0x0061006100610061ull;  // read on, the path would go on with "aaaa" and then end
    const std::wstring exact(MAX_PATH, L'a');
    size_t index = 9;
    EXPECT_TRUE(FindFoundFileRecord(&full, 1, exact.c_str(), index));
    EXPECT_EQ(index, 0u);
    EXPECT_FALSE(FindFoundFileRecord(&full, 1, (exact + L"aaaa").c_str(), index));
    std::vector<FoundFileRecord> records = {full, Record(L"b")};
    SortFoundFileRecords(records.data(), records.size(), kSortByPath, true);
    EXPECT_EQ(records[0].path[0], L'a');
}
