// EXIF data from shell properties. Wine's shell has no file property store, so the values come
// from a store of the test's own, which can also refuse single keys.
#include "imagefile/ShellExif.h"

#include "common/TestFiles.h"
#include "imagefile/ImageMetadata.h"
#include "imaging/NImageBuffer.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <propidl.h>
#include <propsys.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The keys as the Windows SDK names them.
constexpr GUID kPhoto = {0x14B81DA1, 0x0135, 0x4D31, {0x96, 0xD9, 0x6C, 0xBF, 0xC9, 0x67, 0x1A, 0x99}};
constexpr PROPERTYKEY PKEY_Photo_DateTaken = {kPhoto, 36867};
constexpr PROPERTYKEY PKEY_Photo_CameraManufacturer = {kPhoto, 271};
constexpr PROPERTYKEY PKEY_Photo_CameraModel = {kPhoto, 272};
constexpr PROPERTYKEY PKEY_Photo_Flash = {kPhoto, 37385};
constexpr PROPERTYKEY PKEY_Photo_ExposureBias = {kPhoto, 37380};
constexpr PROPERTYKEY PKEY_Photo_ExposureTime = {kPhoto, 33434};
constexpr PROPERTYKEY PKEY_Photo_ExposureProgram = {kPhoto, 34850};
constexpr PROPERTYKEY PKEY_Photo_FNumber = {kPhoto, 33437};
constexpr PROPERTYKEY PKEY_Photo_ISOSpeed = {kPhoto, 34855};
constexpr PROPERTYKEY PKEY_Photo_Orientation = {kPhoto, 274};
constexpr PROPERTYKEY PKEY_Photo_WhiteBalance = {{0xEE3D3D8A, 0x5381, 0x4CFA, {0xB1, 0x3B, 0xAA, 0xF6, 0x6B, 0x5F, 0x4E, 0xC9}}, 100};
constexpr PROPERTYKEY PKEY_GPS_Altitude = {{0x827EDB4F, 0x5B73, 0x44A7, {0x89, 0x1D, 0xFD, 0xFF, 0xAB, 0xEA, 0x35, 0xCA}}, 100};
constexpr PROPERTYKEY PKEY_GPS_AltitudeRef = {{0x46AC629D, 0x75EA, 0x4515, {0x86, 0x7F, 0x6D, 0xC4, 0x32, 0x1C, 0x58, 0x44}}, 100};
constexpr PROPERTYKEY PKEY_GPS_Date = {{0x3602C812, 0x0F3B, 0x45F0, {0x85, 0xAD, 0x60, 0x34, 0x68, 0xD6, 0x94, 0x23}}, 100};
constexpr PROPERTYKEY PKEY_GPS_Latitude = {{0x8727CFFF, 0x4868, 0x4EC6, {0xAD, 0x5B, 0x81, 0xB9, 0x85, 0x21, 0xD1, 0xAB}}, 100};
constexpr PROPERTYKEY PKEY_GPS_Longitude = {{0xC4C4DBB2, 0xB593, 0x466B, {0xBB, 0xDA, 0xD0, 0x3D, 0x27, 0xD5, 0xE4, 0x3A}}, 100};
constexpr PROPERTYKEY PKEY_GPS_LatitudeRef = {{0x029C0252, 0x5B86, 0x46C7, {0xAC, 0xA0, 0x27, 0x69, 0xFF, 0xC8, 0xE3, 0xD4}}, 100};

// A property store in memory: keys it does not hold answer an empty value, as the shell's do;
// keys named as failing answer E_FAIL.
class FakeStore : public IPropertyStore {
public:
    ~FakeStore()
    {
        for (auto& entry : values_)
            PropVariantClear(&entry.second);
    }
    void Set(const PROPERTYKEY& key, const PROPVARIANT& value)
    {
        PROPVARIANT copy;
        PropVariantInit(&copy);
        PropVariantCopy(&copy, &value);
        values_.emplace_back(key, copy);
    }
    void SetUInt(const PROPERTYKEY& key, VARTYPE type, unsigned value)
    {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = type;
        v.ulVal = 0;
        if (type == VT_UI1) v.bVal = static_cast<BYTE>(value);
        else if (type == VT_UI2) v.uiVal = static_cast<USHORT>(value);
        else v.ulVal = value;
        Set(key, v);
    }
    void SetDouble(const PROPERTYKEY& key, double value)
    {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = VT_R8;
        v.dblVal = value;
        Set(key, v);
    }
    void SetText(const PROPERTYKEY& key, const wchar_t* text)
    {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = VT_LPWSTR;
        v.pwszVal = const_cast<wchar_t*>(text);
        Set(key, v);
    }
    void SetTime(const PROPERTYKEY& key, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
    {
        SYSTEMTIME st = {year, month, 0, day, hour, minute, second, 0};
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = VT_FILETIME;
        SystemTimeToFileTime(&st, &v.filetime);
        Set(key, v);
    }
    void SetVector(const PROPERTYKEY& key, std::vector<double> values)
    {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = VT_VECTOR | VT_R8;
        v.cadbl.cElems = static_cast<ULONG>(values.size());
        v.cadbl.pElems = values.data();
        Set(key, v);
    }
    void Fail(const PROPERTYKEY& key) { failing_.push_back(key); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (riid == IID_IUnknown || riid == IID_IPropertyStore) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        *count = static_cast<DWORD>(values_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override
    {
        if (index >= values_.size())
            return E_INVALIDARG;
        *key = values_[index].first;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        PropVariantInit(value);
        for (const auto& k : failing_)
            if (Same(k, key))
                return E_FAIL;
        for (const auto& entry : values_)
            if (Same(entry.first, key))
                return PropVariantCopy(value, &entry.second);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }

private:
    static bool Same(const PROPERTYKEY& a, const PROPERTYKEY& b) { return a.fmtid == b.fmtid && a.pid == b.pid; }
    std::vector<std::pair<PROPERTYKEY, PROPVARIANT>> values_;
    std::vector<PROPERTYKEY> failing_;
};

ExifEntry* Entry(const ImageMetadata& meta, int ifd, int tag)
{
    if (!meta.exif.data || !meta.exif.data->ifd[ifd])
        return nullptr;
    return exif_content_get_entry(meta.exif.data->ifd[ifd], static_cast<ExifTag>(tag));
}

std::string Text(const ImageMetadata& meta, int ifd, int tag)
{
    ExifEntry* e = Entry(meta, ifd, tag);
    if (!e || !e->data)
        return "<none>";
    return std::string(reinterpret_cast<const char*>(e->data), strnlen(reinterpret_cast<const char*>(e->data), e->size));
}

// The value of the first component as a number (-1 for a missing entry).
double Number(const ImageMetadata& meta, int ifd, int tag, int component = 0)
{
    ExifEntry* e = Entry(meta, ifd, tag);
    if (!e || !e->data || static_cast<unsigned long>(component) >= e->components)
        return -1;
    const ExifByteOrder order = exif_data_get_byte_order(meta.exif.data);
    const unsigned char* p = e->data + component * exif_format_get_size(e->format);
    switch (e->format) {
    case EXIF_FORMAT_BYTE: return p[0];
    case EXIF_FORMAT_SHORT: return exif_get_short(p, order);
    case EXIF_FORMAT_LONG: return exif_get_long(p, order);
    case EXIF_FORMAT_RATIONAL: {
        const ExifRational r = exif_get_rational(p, order);
        return r.denominator ? double(r.numerator) / r.denominator : 0;
    }
    case EXIF_FORMAT_SRATIONAL: {
        const ExifSRational r = exif_get_srational(p, order);
        return r.denominator ? double(r.numerator) / r.denominator : 0;
    }
    default: return -2;
    }
}

// The local-time text of a UTC time, as EXIF writes it.
std::string LocalText(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME utc = {year, month, 0, day, hour, minute, second, 0}, local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    char text[32];
    snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", local.wYear, local.wMonth, local.wDay, local.wHour,
             local.wMinute, local.wSecond);
    return text;
}

void FillCamera(FakeStore& store)
{
    store.SetText(PKEY_Photo_CameraManufacturer, L"Maker\u00E9");
    store.SetText(PKEY_Photo_CameraModel, L"Model 7");
    store.SetUInt(PKEY_Photo_Flash, VT_UI1, 25);
    store.SetDouble(PKEY_Photo_FNumber, 2.8);
    store.SetDouble(PKEY_Photo_ExposureTime, 0.004);
    store.SetDouble(PKEY_Photo_ExposureBias, -0.7);
    store.SetUInt(PKEY_Photo_ExposureProgram, VT_UI4, 2);
    store.SetUInt(PKEY_Photo_ISOSpeed, VT_UI2, 400);
    store.SetUInt(PKEY_Photo_Orientation, VT_UI2, 6);
    store.SetUInt(PKEY_Photo_WhiteBalance, VT_UI4, 1);
    store.SetDouble(PKEY_GPS_Altitude, 12.75);
    store.SetUInt(PKEY_GPS_AltitudeRef, VT_UI1, 1);
    store.SetTime(PKEY_GPS_Date, 2024, 5, 6, 23, 30, 0);
    store.SetVector(PKEY_GPS_Latitude, {47.0, 30.0, 15.5});
    store.SetDouble(PKEY_GPS_Longitude, 8.5);   // one number, not degrees, minutes and seconds
    store.SetText(PKEY_GPS_LatitudeRef, L"North");
}

struct Picture {
    NImageBuffer buffer;
    Picture()
    {
        buffer.Create(40, 30, 24, 0);
        buffer.dpiX = 96;
        buffer.dpiY = 72;
    }
};

TEST(ShellExif, WritesDateCameraAndGpsFromTheStore)
{
    FakeStore store;
    store.SetTime(PKEY_Photo_DateTaken, 2024, 5, 6, 7, 8, 9);
    FillCamera(store);
    Picture picture;
    ImageMetadata meta;
    ASSERT_TRUE(ExifFromPropertyStore(&store, L"C:\\none.heic", &picture.buffer, &meta));
    ASSERT_TRUE(meta.exif.hasExif);

    EXPECT_EQ(Number(meta, 0, 282), 96);
    EXPECT_EQ(Number(meta, 0, 283), 72);
    EXPECT_EQ(Number(meta, 0, 296), 2);
    EXPECT_EQ(Number(meta, 0, 256), 40);
    EXPECT_EQ(Number(meta, 0, 257), 30);
    EXPECT_EQ(Number(meta, 0, 274), 1);
    const std::string date = LocalText(2024, 5, 6, 7, 8, 9);
    EXPECT_EQ(Text(meta, 0, 306), date);
    EXPECT_EQ(Text(meta, 2, 36867), date);
    EXPECT_EQ(Text(meta, 2, 36868), date);
    EXPECT_EQ(Text(meta, 0, 271), "Maker\xE9");   // the ANSI code page (1252 here)
    EXPECT_EQ(Text(meta, 0, 272), "Model 7");

    EXPECT_EQ(Number(meta, 2, 37385), 25);
    EXPECT_DOUBLE_EQ(Number(meta, 2, 33437), 2.8);       // fractions are kept
    EXPECT_DOUBLE_EQ(Number(meta, 2, 33434), 0.004);
    EXPECT_DOUBLE_EQ(Number(meta, 2, 37380), -0.7);      // signed rational
    EXPECT_EQ(Number(meta, 2, 34850), 2);                // ExposureProgram in its own tag
    EXPECT_EQ(Entry(meta, 2, 41986), nullptr);
    EXPECT_EQ(Number(meta, 2, 34855), 400);
    EXPECT_EQ(Number(meta, 2, 274), 6);
    EXPECT_EQ(Number(meta, 2, 41987), 1);
    // Values the store does not hold are not invented.
    EXPECT_EQ(Entry(meta, 2, 37378), nullptr);
    EXPECT_EQ(Entry(meta, 2, 41483), nullptr);
    EXPECT_EQ(Entry(meta, 2, 37384), nullptr);

    EXPECT_DOUBLE_EQ(Number(meta, 3, 6), 12.75);
    EXPECT_EQ(Number(meta, 3, 5), 1);
    EXPECT_EQ(Text(meta, 3, 29), "2024:05:06");
    EXPECT_EQ(Number(meta, 3, 2, 0), 47);
    EXPECT_EQ(Number(meta, 3, 2, 1), 30);
    EXPECT_DOUBLE_EQ(Number(meta, 3, 2, 2), 15.5);
    EXPECT_EQ(Text(meta, 3, 1), "N");
    EXPECT_EQ(Entry(meta, 3, 4), nullptr);   // a scalar longitude is no position

    // The data survives a round trip through libexif's own writer and reader.
    unsigned char* block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(meta.exif.data, &block, &size);
    ASSERT_NE(block, nullptr);
    ImageMetadata again;
    EXPECT_TRUE(again.exif.LoadFromBytes(block, size));
    free(block);
    EXPECT_EQ(Text(again, 0, 306), date);
    EXPECT_DOUBLE_EQ(Number(again, 3, 2, 2), 15.5);
}

TEST(ShellExif, WithoutADateTakenUsesTheFileTimeAndNoCameraValues)
{
    TestDir dir;
    const std::wstring path = dir.File(L"photo.heic");
    ASSERT_TRUE(WriteWholeFile(path, "x", 1));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SYSTEMTIME st = {2019, 11, 0, 2, 13, 14, 15, 0};
    FILETIME written;
    SystemTimeToFileTime(&st, &written);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);

    FakeStore store;   // no date taken: the shell answers an empty value
    FillCamera(store);
    Picture picture;
    ImageMetadata meta;
    ASSERT_TRUE(ExifFromPropertyStore(&store, path.c_str(), &picture.buffer, &meta));
    EXPECT_EQ(Text(meta, 0, 306), LocalText(2019, 11, 2, 13, 14, 15));
    EXPECT_EQ(Text(meta, 2, 36867), LocalText(2019, 11, 2, 13, 14, 15));
    EXPECT_EQ(Text(meta, 0, 271), "Maker\xE9");
    EXPECT_EQ(Entry(meta, 2, 37385), nullptr);
    EXPECT_EQ(Entry(meta, 2, 33437), nullptr);
    EXPECT_EQ(Entry(meta, 3, 2), nullptr);
    EXPECT_EQ(Entry(meta, 3, 6), nullptr);

    // A file that cannot be opened keeps the empty date.
    ImageMetadata other;
    ASSERT_TRUE(ExifFromPropertyStore(&store, dir.File(L"gone.heic").c_str(), &picture.buffer, &other));
    EXPECT_EQ(Text(other, 0, 306), "1601:01:01 00:00:00");
}

TEST(ShellExif, WhenTheDateCannotBeAskedOnlyTheFileFactsAreWritten)
{
    FakeStore store;
    store.Fail(PKEY_Photo_DateTaken);
    FillCamera(store);
    Picture picture;
    ImageMetadata meta;
    ASSERT_TRUE(ExifFromPropertyStore(&store, L"C:\\none.heic", &picture.buffer, &meta));
    EXPECT_EQ(Entry(meta, 0, 306), nullptr);
    EXPECT_EQ(Entry(meta, 2, 36867), nullptr);
    EXPECT_EQ(Entry(meta, 2, 37385), nullptr);
    EXPECT_EQ(Entry(meta, 3, 2), nullptr);
    EXPECT_EQ(Number(meta, 0, 282), 96);
    EXPECT_EQ(Number(meta, 0, 256), 40);
    EXPECT_EQ(Number(meta, 0, 274), 1);
    EXPECT_EQ(Text(meta, 0, 272), "Model 7");

    // A failing camera key is skipped, the others are written.
    FakeStore partial;
    partial.SetTime(PKEY_Photo_DateTaken, 2024, 1, 1, 0, 0, 0);
    FillCamera(partial);
    partial.Fail(PKEY_Photo_FNumber);
    partial.Fail(PKEY_Photo_CameraModel);
    ImageMetadata some;
    ASSERT_TRUE(ExifFromPropertyStore(&partial, nullptr, &picture.buffer, &some));
    EXPECT_EQ(Entry(some, 2, 33437), nullptr);
    EXPECT_EQ(Entry(some, 0, 272), nullptr);
    EXPECT_EQ(Number(some, 2, 34855), 400);
}

TEST(ShellExif, ReplacesOldDataAndRefusesOnlyANullTarget)
{
    FakeStore store;
    Picture picture;
    EXPECT_FALSE(ExifFromPropertyStore(&store, nullptr, &picture.buffer, nullptr));
    EXPECT_FALSE(ExifFromShellProperties(L"C:\\x.heic", &picture.buffer, nullptr));

    ImageMetadata meta;
    ASSERT_TRUE(meta.exif.Reset());
    ASSERT_TRUE(meta.exif.SetTagText("Old", 0, 271));
    ASSERT_TRUE(ExifFromPropertyStore(&store, nullptr, &picture.buffer, &meta));
    EXPECT_EQ(Entry(meta, 0, 271), nullptr);
    EXPECT_EQ(Number(meta, 0, 256), 40);

    // Wine's shell has no property store for files: nothing changes.
    ImageMetadata kept;
    ASSERT_TRUE(kept.exif.Reset());
    ASSERT_TRUE(kept.exif.SetTagText("Old", 0, 271));
    TestDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File(L"a.heic"), "x", 1));
    EXPECT_TRUE(ExifFromShellProperties(dir.File(L"a.heic").c_str(), &picture.buffer, &kept));
    if (Entry(kept, 0, 256) == nullptr) {   // the store could not be opened
        EXPECT_EQ(Text(kept, 0, 271), "Old");
    }
}

}  // namespace
