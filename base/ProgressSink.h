// Where long operations of the lower layers report their progress. The window layer's busy
// overlay implements it; the image library and the effects only call it when a caller handed them
// one, and never learn what shows it. Both calls may come from any thread.
#pragma once

class NProgressSink {
public:
    virtual ~NProgressSink() = default;
    // The step text; null empties it.
    virtual void SetText(const wchar_t* text) = 0;
    // value of total done, shown as value / total + base.
    virtual void SetProgress(double base, int total, int value) = 0;
};
