// Where the lower layers take display texts from. The window layer's language table implements
// it; the image library asks only the source the program handed it and never learns where the
// texts come from.
#pragma once

#include "base/NString.h"

class NTextSource {
public:
    virtual ~NTextSource() = default;
    // The text of the key in the section, its reference text when the text is empty; "" when
    // the table has neither.
    virtual NString GetText(const wchar_t* section, const wchar_t* key) const = 0;
    // A text to be used as a printf format with arguments of the given kinds ('d' int, 's' wide
    // string, 'f' double): a text of the table whose conversions fit them, else builtIn (which
    // the caller makes fit).
    virtual NString GetFormatText(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                                  const wchar_t* builtIn) const = 0;
};
