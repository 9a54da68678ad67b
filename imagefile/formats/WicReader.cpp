#include "imagefile/formats/WicReader.h"

#include <windows.h>
#include <wincodec.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "imaging/NImageBuffer.h"

namespace {

// COM on this thread for the lifetime of the object. A thread that already runs in another
// apartment keeps it (COM works there as well) and is not uninitialised here.
class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

// Owns one interface reference.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (p_)
            p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() { return &p_; }

private:
    T* p_ = nullptr;
};

int32_t WholeDpi(double value)
{
    if (!(value >= 1.0 && value < 1000000.0))
        return 96;
    return static_cast<int32_t>(std::lround(value));
}

// The Imaging Component's factory, in the caller's apartment.
bool CreateFactory(ComRef<IWICImagingFactory>& factory)
{
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.put()))) &&
           factory.get();
}

}  // namespace

NRESULT DecodeWithWic(const wchar_t* path, NImageBuffer& target)
{
    if (!path)
        return NR_COMPRESSION_NOT_SUPPORTED;
    // Declared first: every interface below is released before COM is uninitialised.
    ComApartment apartment;
    ComRef<IWICImagingFactory> factory;
    if (!CreateFactory(factory))
        return NR_FORMAT_INIT_FAILED;

    ComRef<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.put())))
        return NR_COMPRESSION_NOT_SUPPORTED;

    ComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    if (FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height)) || width == 0 ||
        height == 0 || width > INT_MAX || height > INT_MAX)
        return NR_DECODE_FAILED;

    // The frame's own layout may be 24, 48 or 64 bits a pixel, or 32 bits with an undefined
    // fourth byte: WIC converts it to the picture's B,G,R,A.
    ComRef<IWICBitmapSource> pixels;
    if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(), pixels.put())) || !pixels.get())
        return NR_DECODE_FAILED;

    if (!target.Create(static_cast<int>(width), static_cast<int>(height), 32, 0x000000FF))
        return NR_PICTURE_CREATE_FAILED;
    const uint64_t size = static_cast<uint64_t>(target.stride) * height;
    const WICRect rect = {0, 0, static_cast<INT>(width), static_cast<INT>(height)};
    if (size > UINT_MAX ||
        FAILED(pixels->CopyPixels(&rect, static_cast<UINT>(target.stride), static_cast<UINT>(size), target.bits))) {
        target.Destroy();
        return NR_DECODE_FAILED;
    }
    double dpiX = 96.0, dpiY = 96.0;
    if (FAILED(frame->GetResolution(&dpiX, &dpiY)))
        dpiX = dpiY = 96.0;

    // Rows came top first; the picture is bottom-up.
    if (!target.ConvertToBpp(24, true) || !target.FlipVertical()) {
        target.Destroy();
        return NR_PICTURE_CREATE_FAILED;
    }
    target.dpiX = WholeDpi(dpiX);
    target.dpiY = WholeDpi(dpiY);
    return NR_OK;
}

bool WicHasDecoderFor(const wchar_t* extension)
{
    if (!extension || !*extension)
        return false;
    ComApartment apartment;
    ComRef<IWICImagingFactory> factory;
    if (!CreateFactory(factory))
        return false;
    ComRef<IEnumUnknown> components;
    if (FAILED(factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault, components.put())) ||
        !components.get())
        return false;
    const size_t wanted = wcslen(extension);
    for (;;) {
        ComRef<IUnknown> component;
        ULONG fetched = 0;
        if (components->Next(1, component.put(), &fetched) != S_OK || fetched != 1 || !component.get())
            return false;
        ComRef<IWICBitmapDecoderInfo> info;
        if (FAILED(component->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(info.put()))) ||
            !info.get())
            continue;
        UINT units = 0;
        if (FAILED(info->GetFileExtensions(0, nullptr, &units)) || units == 0 || units > 4096)
            continue;
        std::vector<wchar_t> list(units + 1, L'\0');
        if (FAILED(info->GetFileExtensions(units, list.data(), &units)))
            continue;
        // A comma-separated list such as ".heic,.heif".
        for (const wchar_t* at = list.data(); *at;) {
            const wchar_t* end = wcschr(at, L',');
            const size_t length = end ? static_cast<size_t>(end - at) : wcslen(at);
            if (length == wanted && _wcsnicmp(at, extension, length) == 0)
                return true;
            if (!end)
                break;
            at = end + 1;
        }
    }
}
