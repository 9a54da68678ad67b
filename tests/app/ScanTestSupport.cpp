#include "ScanTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "app/AppSettings.h"
#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "imaging/NImageBuffer.h"

Bytes Noise(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        const uint32_t value = random();
        std::memcpy(bytes.data() + i, &value, 4);
    }
    for (; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(random());
    return bytes;
}

Bytes Fixture(const std::wstring& name)
{
    Bytes bytes;
    EXPECT_TRUE(ReadWholeFile(TestDataPath(name), bytes)) << "missing fixture";
    return bytes;
}

Bytes MakeJpeg(int width, int height)
{
    NImageBuffer picture;
    picture.Create(width, height, 24, RGB(200, 100, 50));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(y) * picture.stride;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            row[x * 3 + 1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            row[x * 3 + 2] = 128;
        }
    }
    TestDir dir;
    const std::wstring path = dir.File(L"made.jpg");
    EXPECT_EQ(NR_OK, SaveImageFile(&picture, path.c_str(), FT_JPG, nullptr));
    Bytes bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

namespace {

uint32_t Crc32(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(Bytes& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

Bytes PadPng(const Bytes& png, size_t size)
{
    const size_t headerEnd = 8 + 25;  // signature and IHDR chunk
    const size_t dataLength = size - png.size() - 12;
    Bytes chunk = {'t', 'E', 'X', 't'};
    const char keyword[] = "Comment";
    chunk.insert(chunk.end(), keyword, keyword + sizeof(keyword));  // with its NUL
    chunk.resize(4 + dataLength, 'x');
    Bytes out(png.begin(), png.begin() + headerEnd);
    PutBigEndian(out, static_cast<uint32_t>(dataLength));
    out.insert(out.end(), chunk.begin(), chunk.end());
    PutBigEndian(out, Crc32(chunk.data(), chunk.size()));
    out.insert(out.end(), png.begin() + headerEnd, png.end());
    return out;
}

void Place(Bytes& image, size_t offset, const Bytes& picture)
{
    ASSERT_LE(offset + picture.size(), image.size());
    std::copy(picture.begin(), picture.end(), image.begin() + static_cast<ptrdiff_t>(offset));
}

bool MemorySource::ReadAt(uint64_t position, void* buffer, uint32_t count, uint32_t& bytesRead, DWORD& error)
{
    {
        std::lock_guard<std::mutex> hold(m_readsLock);
        reads.emplace_back(position, count);
    }
    bytesRead = 0;
    error = 0;
    if (position >= m_data.size())
        return true;
    const uint64_t end = std::min<uint64_t>(m_data.size(), position + count);
    // A read stops in front of the first bad sector it reaches and fails there.
    for (uint64_t sector = position / m_sector; sector * m_sector < end; ++sector) {
        if (badSectors.count(sector)) {
            const uint64_t good = std::max(position, sector * m_sector) - position;
            std::memcpy(buffer, m_data.data() + position, static_cast<size_t>(good));
            bytesRead = static_cast<uint32_t>(good);
            error = ERROR_CRC;
            return false;
        }
    }
    std::memcpy(buffer, m_data.data() + position, static_cast<size_t>(end - position));
    bytesRead = static_cast<uint32_t>(end - position);
    return true;
}

void RecordingSink::OnHit(const ScanHit& hit, CandidateBytes& candidate)
{
    hits.push_back({hit.position, hit.type});
    candidateLengths.push_back(candidate.Size());
    Bytes head(static_cast<size_t>(std::min<uint64_t>(headBytes, candidate.Size())));
    if (!head.empty() && !candidate.ReadAt(0, head.data(), head.size()))
        head.clear();
    candidateHeads.push_back(std::move(head));
}

ScanSettingsScope::ScanSettingsScope(const std::wstring& outputFolder)
{
    std::memcpy(m_savedFolder, GeneralOutputFolder, sizeof(m_savedFolder));
    m_savedOptions = ScanOptions;
    wcsncpy(GeneralOutputFolder, outputFolder.c_str(), MAX_PATH - 1);
    GeneralOutputFolder[MAX_PATH - 1] = 0;
    ScanOptions = ScanOptionSet();
}

ScanSettingsScope::~ScanSettingsScope()
{
    std::memcpy(GeneralOutputFolder, m_savedFolder, sizeof(m_savedFolder));
    ScanOptions = m_savedOptions;
}

std::vector<std::wstring> ListFiles(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring ReadAppLog()
{
    NString path;
    if (!GetAppLogPath(path))
        return L"";
    Bytes bytes;
    if (!ReadWholeFile(path.c_str(), bytes))
        return L"";
    // Narrow text as the log writes it; the tests look for ASCII lines.
    return std::wstring(bytes.begin(), bytes.end());
}

void ScanImageFileWithAllGroups(const std::wstring& path)
{
    ScanOptions.ScanFromFile = 1;
    ScanOptions.ImageFilePath = path.c_str();
    ScanOptions.SearchFilter1 = ScanOptions.SearchFilter2 = ScanOptions.SearchFilter3 = ScanOptions.SearchFilter4 = 1;
    ScanOptions.ChunkSizeOn = 1;
    ScanOptions.ChunkSizeIndex = 0;
}

std::wstring TrashFilesFolder()
{
    wchar_t value[1024] = {};
    std::wstring unixPath;
    if (GetEnvironmentVariableW(L"XDG_DATA_HOME", value, 1024) && value[0] == L'/')
        unixPath = value;
    else if (GetEnvironmentVariableW(L"HOME", value, 1024) && value[0] == L'/')
        unixPath = std::wstring(value) + L"/.local/share";
    else
        return {};
    std::replace(unixPath.begin(), unixPath.end(), L'/', L'\\');
    return L"Z:" + unixPath + L"\\Trash\\files";
}
