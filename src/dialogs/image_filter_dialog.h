#pragma once
// The image filter dialog: a frame with the "Image Filter" page and, for the
// monochrome colour types, the "Gray Filter" page. Every control writes the Camera's
// live FilterSettings at once, so the next frame shows the change; anything but OK
// restores the values the dialog started with.


#include "dialogs/dialog_support.h"
#include "platform/mutex.h"
#include "imaging/filter_settings.h"

namespace orvix {


// The settings and the lock that guards them against the capture thread.
struct FilterAccess {
    FilterSettings& settings;
    Mutex& guard;
};

namespace filter_dialog_ids {
inline constexpr int kTab = 1001;
inline constexpr int kDefault = 3;
inline constexpr int kOnce = 2074;
inline constexpr int kAllFrames = 1035;
inline constexpr int kBayerMode0 = 1030; // to 1033
inline constexpr int kGrayMode0 = 1045;  // to 1047
} // namespace filter_dialog_ids

// Enable flags of the image page by colour type.
struct FilterDialogFlags {
    bool rows[9]; // brightness, contrast, hue, saturation, sharpness, R, G, B gain, gamma
    bool colorControls;
    bool hasGrayPage;
    static FilterDialogFlags forColorType(int colorType);
};

class ImageFilterPage final : public dialogs::DialogHandler {
public:
    ImageFilterPage(const FilterAccess& access, const FilterDialogFlags& flags) : access_(access), flags_(flags) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;
    void scroll(int trackbarId) override;
    void reload();
    void store();

private:
    FilterAccess access_;
    FilterDialogFlags flags_;
    dialogs::DialogControls* controls_ = nullptr;
    bool initialized_ = false;
};

class GrayFilterPage final : public dialogs::DialogHandler {
public:
    explicit GrayFilterPage(const FilterAccess& access) : access_(access) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;
    void scroll(int trackbarId) override;
    void reload();
    void store();

private:
    FilterAccess access_;
    dialogs::DialogControls* controls_ = nullptr;
    bool initialized_ = false;
};

class ImageFilterDialog final : public dialogs::DialogHandler {
public:
    ImageFilterDialog(const FilterAccess& access, const FilterDialogFlags& flags)
        : access_(access), flags_(flags), imagePage_(access, flags), grayPage_(access) {}

    void init(dialogs::DialogControls& controls) override;
    void command(int id, int code) override;
    void tabChanged(int tabId) override;
    void closing() override { postTarget_.detach(); }

    // From any thread (after a white-balance or gray-gain measurement): the pages
    // reload their controls from the settings, on the dialog's thread.
    void reload();

    bool hasGrayPage() const { return flags_.hasGrayPage; }

private:
    void reloadPages();

    FilterAccess access_;
    FilterDialogFlags flags_;
    ImageFilterPage imagePage_;
    GrayFilterPage grayPage_;
    dialogs::DialogControls* controls_ = nullptr;
    dialogs::DialogControls* imageControls_ = nullptr;
    dialogs::DialogControls* grayControls_ = nullptr;
    dialogs::PostTarget postTarget_;
};

} // namespace orvix
