#pragma once
// The frame pipeline: turns the raw frame of one capture into the output image of
// its colour type. Automatic exposure meters the raw frame first; then the filter
// section runs:
//   type 0: gray mode 1 (site gains, measured when asked) or gray mode 2 (demosaic
//           into the 24-bit luminance Surface, then luminance back into the frame)
//   types 2..5: demosaic of the raw Surface into the output Surface
//   all types: hue and saturation (colour images), gamma, contrast, sharpen,
//           brightness
// Type 1 works on its 16-bit raw Surface as it is, as does type 0 without a gray mode.
//
// The pipeline works on a copy of the settings taken for the frame and never writes
// settings: what it measured (white-balance gains, gray site gains, the exposure
// correction) comes back in FrameMeasurements for the caller to store. Nothing here
// allocates per frame; the gamma, contrast and sharpen tables live in the pipeline's
// cache. One pipeline serves one camera, one frame at a time.
//
// The demosaic and the filter steps run over bands of rows (filter_section.h), with
// the bytes of running each kernel over the whole frame in turn.

#include <cstdint>

#include "imaging/auto_exposure.h"
#include "imaging/filter_section.h"
#include "imaging/filter_settings.h"
#include "imaging/filter_tables.h"
#include "imaging/gray_gains.h"
#include "imaging/processor_info.h"
#include "imaging/white_balance.h"

namespace orvix {

class Surface;

// The Surfaces one frame is processed in; the capture engine owns them.
struct FrameSurfaces {
    Surface* raw = nullptr;       // the fetched frame: 8-bit for types 0, 2, 3; 16-bit for 1, 4, 5
    Surface* output = nullptr;    // the colour type's image; the raw Surface itself for types 0 and 1
    Surface* luminance = nullptr; // type 0, gray mode 2: the 24-bit demosaic of the frame
    Surface* work = nullptr;      // sharpen's unsharpened rows, shaped like the output (scratch afterwards)
};

// The settings of one frame.
struct FrameSettings {
    FilterSettings filter;
    std::int32_t autoIris = 0; // 1 corrects the exposure, 2 the gain, else no metering
};

// What a frame measured.
struct FrameMeasurements {
    bool whiteBalanceMeasured = false;
    WhiteBalanceParams whiteBalance; // for FilterSettings::storeWhiteBalance
    bool grayGainsMeasured = false;
    GrayGainParams grayGains;        // for storeMeasuredGrayGains
    bool exposureMetered = false;
    autoexposure::Decision exposure; // the correction factor and whether it is due
};

class FramePipeline {
public:
    // The processor record chooses the kernel variants.
    explicit FramePipeline(const ProcessorInfo& cpu) : cpu_(cpu) { options_.vectors = cpu.canUse(kFeatureSse2); }

    // Automatic exposure metering (when settings.autoIris asks for it), then the
    // filter section. A frame without a raw or output image is left alone.
    FrameMeasurements process(std::int32_t colorType, const FrameSurfaces& surfaces, const FrameSettings& settings);

    // The filter section alone.
    FrameMeasurements applyFilterSection(std::int32_t colorType, const FrameSurfaces& surfaces,
                                         FilterSettings settings);

    // Demosaics `raw` into `destination`: with automatic white balance on, the raw
    // frame is measured first and the gains are used for this frame (and stored in
    // `settings` and `measured`); then the kernel chosen for the depths, gains and
    // processor runs.
    void demosaic(Surface& destination, Surface& raw, FilterSettings& settings, FrameMeasurements& measured);

    const ProcessorInfo& processor() const { return cpu_; }
    FilterTableCache& tables() { return tables_; }

    // How the filter section is run over bands of rows (the result is the same for
    // every choice): the vector forms follow the processor record by default.
    const SectionOptions& sectionOptions() const { return options_; }
    void setSectionOptions(const SectionOptions& options) { options_ = options; }

private:
    void applyGraySiteGains(Surface& frame, FilterSettings& settings, FrameMeasurements& measured);
    // White balance (when on) and the kernel choice of a demosaic; false when either
    // Surface holds no image or the clip leaves nothing.
    bool prepareDemosaic(Surface& destination, Surface& raw, FilterSettings& settings, FrameMeasurements& measured,
                         BandDemosaic& band);

    const ProcessorInfo cpu_;
    FilterTableCache tables_;
    SectionOptions options_;
};

} // namespace orvix
