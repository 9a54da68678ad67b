// The open-dialog filter string: the fixed rows, one row per reading plug-in, and a buffer that
// is too small.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "imagefile/GuardedBuffer.h"
#include "imagefile/OpenDialogFilter.h"
#include "imagefile/PlugInTestSupport.h"

namespace {

using Row = std::pair<std::wstring, std::wstring>;

// The rows of a filter string of `units` units (its final NUL included).
std::vector<Row> Rows(const wchar_t* filter, int units)
{
    std::vector<Row> rows;
    int i = 0;
    while (i < units && filter[i] != L'\0') {
        std::wstring description = filter + i;
        i += static_cast<int>(description.size()) + 1;
        std::wstring pattern = filter + i;
        i += static_cast<int>(pattern.size()) + 1;
        rows.emplace_back(description, pattern);
    }
    return rows;
}

std::vector<wchar_t> Build(bool picturesOnly)
{
    const int units = OpenFileFilterUnits(picturesOnly);
    std::vector<wchar_t> buffer(static_cast<size_t>(units) + 8, L'#');
    EXPECT_TRUE(BuildOpenFileFilter(buffer.data(), units, picturesOnly));
    buffer.resize(static_cast<size_t>(units));
    return buffer;
}

using PlugInOpenDialogFilterTest = PlugInTest;

TEST_F(PlugInOpenDialogFilterTest, FixedTablesWithoutPlugIns)
{
    EXPECT_EQ(OpenFileFilterUnits(false), 3103);
    EXPECT_EQ(OpenFileFilterUnits(true), 2638);

    const std::vector<wchar_t> full = Build(false);
    ASSERT_EQ(full.size(), 3103u);
    EXPECT_EQ(full[3101], L'\0');
    EXPECT_EQ(full[3102], L'\0');
    const std::vector<Row> rows = Rows(full.data(), 3103);
    ASSERT_EQ(rows.size(), 60u);
    EXPECT_EQ(rows[0].first, L"Common");
    EXPECT_EQ(rows[1], Row(L"All Files", L"*.*"));
    EXPECT_EQ(rows[8], Row(L"SlideShow/PlayList", L"*.mfalist;*.m3u"));
    EXPECT_EQ(rows[9], Row(L"2BP - Pocket PC Bitmap (*.2bp)", L"*.2bp"));
    EXPECT_EQ(rows[31], Row(L"JP2 - JPEG 2000 Image (*.jp2; *.j2c; *.j2k)", L"*.jp2;*.j2c;*.j2k"));
    EXPECT_EQ(rows[59], Row(L"ZBR - Zebra Metafile Preview (*.zbr)", L"*.zbr"));

    const std::vector<wchar_t> pictures = Build(true);
    ASSERT_EQ(pictures.size(), 2638u);
    const std::vector<Row> pictureRows = Rows(pictures.data(), 2638);
    ASSERT_EQ(pictureRows.size(), 53u);
    EXPECT_EQ(pictureRows[0],
              Row(L"Common", L"*.ico;*.webp;*.jp2;*.gif;*.jxr;*.jpg;*.jpeg;*.png;*.tga;*.tif;*.bmp;*.psd;*.lmcdoc;"
                             L"*.glimdoc"));
    EXPECT_EQ(pictureRows[2], rows[9]);
    EXPECT_EQ(pictureRows[52], rows[59]);
}

TEST_F(PlugInOpenDialogFilterTest, OneRowPerReadingPlugIn)
{
    std::vector<PlugInRecord>& records = GetPlugInHost().records;
    PlugInRecord reader = FakeRecord(L"C:\\a.dll", L"foo", true, false);
    wcscpy(reader.filterDescription, L"Foo Pictures");
    wcscpy(reader.filterPattern, L"*.foo;*.fo");
    PlugInRecord writerOnly = FakeRecord(L"C:\\b.dll", L"bar", false, true);
    wcscpy(writerOnly.filterDescription, L"Bar Pictures");
    wcscpy(writerOnly.filterPattern, L"*.bar");
    // A description that fills its whole field without a NUL is read to the field's end only.
    PlugInRecord full = FakeRecord(L"C:\\c.dll", L"baz", true, false);
    wmemset(full.filterDescription, L'z', 64);
    wcscpy(full.filterPattern, L"*.baz");
    records.push_back(reader);
    records.push_back(writerOnly);
    records.push_back(full);

    const std::vector<wchar_t> filter = Build(false);
    const std::vector<Row> rows = Rows(filter.data(), static_cast<int>(filter.size()));
    ASSERT_EQ(rows.size(), 62u);
    EXPECT_EQ(rows[60], Row(L"PLUGIN - Foo Pictures", L"*.foo;*.fo"));
    EXPECT_EQ(rows[61], Row(L"PLUGIN - " + std::wstring(64, L'z'), L"*.baz"));
    EXPECT_EQ(filter.size(), 3103u + 22 + 11 + 74 + 6);
}

TEST_F(PlugInOpenDialogFilterTest, NeverWritesPastTheBuffer)
{
    wchar_t one[1] = {L'#'};
    EXPECT_FALSE(BuildOpenFileFilter(nullptr, 100, false));
    EXPECT_FALSE(BuildOpenFileFilter(one, 0, false));
    EXPECT_EQ(one[0], L'#');

    // One unit short: refused with an empty filter, and nothing past the end is touched.
    const int units = OpenFileFilterUnits(true);
    GuardedBuffer guard(static_cast<size_t>(units) * sizeof(wchar_t));
    ASSERT_TRUE(guard.valid());
    std::vector<wchar_t> fill(static_cast<size_t>(units - 1), L'#');
    wchar_t* buffer = reinterpret_cast<wchar_t*>(guard.AtEnd(fill.data(), fill.size() * sizeof(wchar_t)));
    EXPECT_FALSE(BuildOpenFileFilter(buffer, units - 1, true));
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(buffer[1], L'\0');

    EXPECT_FALSE(BuildOpenFileFilter(buffer + units - 2, 1, true));
    EXPECT_EQ(buffer[units - 2], L'\0');

    // Exactly the length fits.
    wchar_t* exact = reinterpret_cast<wchar_t*>(guard.AtEnd(fill.data(), 0)) - units;
    EXPECT_TRUE(BuildOpenFileFilter(exact, units, true));
    EXPECT_EQ(exact[units - 1], L'\0');
    EXPECT_EQ(exact[units - 2], L'\0');
}

}  // namespace
