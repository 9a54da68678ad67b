// Dehaze: the work copy, the steps in order, the progress texts and the step times.
#include "effects/Dehaze.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "base/Log.h"
#include "effects/DehazeSteps.h"

namespace {

// The guided filter's regularisation, on the 0..255 scale of guide and input.
constexpr double kGuidedEpsilon = 1e-6;
constexpr uint64_t kReduceAbovePixels = 1000000;
constexpr int kResizeLanczos3 = 9;

// Logs the time since it was made or last logged, then starts again.
class StepClock {
public:
    StepClock() : start_(GetTickCount64()) {}

    void Log(const wchar_t* step)
    {
        const int ms = static_cast<int>(std::min<ULONGLONG>(GetTickCount64() - start_, INT_MAX));
        LogMessage(L"%s: took %d msec (%.2f seconds)", step, ms, ms / 1000.0);
        start_ = GetTickCount64();
    }

private:
    ULONGLONG start_;
};

void Show(NProgressSink* progress, const wchar_t* text, int value)
{
    if (!progress)
        return;
    progress->SetText(text);
    progress->SetProgress(0, 1, value);
}

bool Fail(const wchar_t* why)
{
    LogMessage(L"Dehaze::%s", why);
    return false;
}

}  // namespace

bool DehazeReduces(int width, int height, bool reduce)
{
    return reduce && width > 0 && height > 0 &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kReduceAbovePixels;
}

bool MakeDehazeWorkCopy(const NImageBuffer& picture, NImageBuffer& work)
{
    return picture.ResizeImageInto(work, picture.width / 2, picture.height / 2, kResizeLanczos3, true) &&
           work.bpp == 24;
}

int DehazePatchRadius(int width, int height)
{
    return static_cast<int>(std::lround(0.02 * std::min(width, height)));
}

bool Dehaze(NImageBuffer& picture, bool reduce, int guidedRadius, NProgressSink* progress)
{
    if (!picture.valid)
        return Fail(L"picture not valid!");
    // The picture itself stays untouched until the result replaces it.
    NImageBuffer converted;
    if (picture.bpp != 24 && (!converted.Copy(picture) || !converted.ConvertToBpp(24, true)))
        return Fail(L"cannot convert the picture to 24 bpp!");
    const NImageBuffer& source = picture.bpp == 24 ? picture : converted;
    NImageBuffer reduced;
    const bool reduces = DehazeReduces(source.width, source.height, reduce);
    if (reduces && !MakeDehazeWorkCopy(source, reduced))
        return Fail(L"cannot make the work copy!");
    const NImageBuffer& work = reduces ? reduced : source;
    const int radius = DehazePatchRadius(work.width, work.height);

    StepClock clock;
    Show(progress, L"Calculating dark areas", 0);
    NImageBuffer dark;
    if (!CalcDarkChannel(dark, work, radius))
        return Fail(L"CalcDarkChannel failed!");
    clock.Log(L"CalcDarkChannel");

    Show(progress, L"Calculating light areas", 0);
    AtmosphericLight light{};
    if (!CalcAirlight(dark, work, light))
        return Fail(L"CalcAirlight failed!");
    dark.Destroy();
    clock.Log(L"CalcAirlight");

    NImageBuffer transmission;
    if (!CalcTransmission(transmission, work, light, radius))
        return Fail(L"CalcTransmission failed!");
    clock.Log(L"CalcTransmission");

    Show(progress, L"Calculating colors", 0);
    NImageBuffer refined;
    if (!GuidedFilterColor(refined, work, transmission, kGuidedEpsilon, guidedRadius, progress))
        return Fail(L"GuidedFilterColor failed!");
    transmission.Destroy();
    reduced.Destroy();
    clock.Log(L"GuidedFilterColor");

    // A reduced map is scaled back to the picture's size (both sides: a very tall or very wide
    // picture may keep one of them).
    if (refined.width != source.width || refined.height != source.height) {
        if (!refined.ResizeImage(source.width, source.height, kResizeLanczos3, false) || !refined.ConvertToGray8() ||
            refined.width != source.width || refined.height != source.height)
            return Fail(L"cannot scale the transmission map!");
    }
    Show(progress, L"Finalizing", 0);
    NImageBuffer result;
    if (!CalcRecover(result, source, refined, light))
        return Fail(L"CalcRecover failed!");
    clock.Log(L"CalcRecover");

    Show(progress, L"Finished", 1);
    result.dpiX = picture.dpiX;
    result.dpiY = picture.dpiY;
    picture.Adopt(result);
    return true;
}
