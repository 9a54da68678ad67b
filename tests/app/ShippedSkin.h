// The skin shipped with the program, put beside the test program as "Skins\Default" and loaded
// for the time of one test (other tests expect no skin there).
#pragma once
#include <string>
#include <vector>

class NSkin;
class NWinApp;

class ShippedSkin {
public:
    // Nothing happens unless active. A "Skins\Default" folder already there is used as it is.
    explicit ShippedSkin(NWinApp& app, bool active = true);
    ~ShippedSkin();
    ShippedSkin(const ShippedSkin&) = delete;
    ShippedSkin& operator=(const ShippedSkin&) = delete;
    bool Loaded() const { return loaded_; }

private:
    NSkin* skin_ = nullptr;
    bool loaded_ = false;
    bool madeSkins_ = false;
    std::wstring folder_;
    std::vector<std::wstring> files_;
};
