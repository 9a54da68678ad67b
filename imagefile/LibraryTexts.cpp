#include "imagefile/LibraryTexts.h"

#include <atomic>

#include "base/TextSource.h"

namespace {
std::atomic<const NTextSource*> g_source{nullptr};
}  // namespace

void SetLibraryTextSource(const NTextSource* source)
{
    g_source = source;
}

const NTextSource* GetLibraryTextSource()
{
    return g_source.load();
}

NString GetLibraryFormatText(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                             const wchar_t* builtIn)
{
    if (const NTextSource* source = GetLibraryTextSource())
        return source->GetFormatText(section, key, argumentKinds, builtIn);
    return NString(builtIn ? builtIn : L"");
}
