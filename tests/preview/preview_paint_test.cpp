// Painting frames into the preview window, read back from the window system: the
// orientation (memory row 0 at the top), the same-size and scaled paths for every
// colour type, the display Surface following the client size and depth, windows that
// must not be painted, and the teardown of windows and classes. Last, whole captures
// of the emulated camera: what a preview shows is the image GetImage returns.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera.h"
#include "capture/capture_surfaces.h"
#include "capture/preview_window.h"
#include "imaging/surface.h"
#include "platform/preview_window.h"
#include "preview/started_camera.h"
#include "preview/window_probe.h"

namespace orvix {
namespace {

using test::Rgb;

// Display values of the test frames: every pixel differs from its neighbours, and a
// frame with another seed differs from it at every pixel.
std::uint8_t grayAt(int x, int y, int seed) { return static_cast<std::uint8_t>(x * 29 + y * 53 + 7 + seed); }
Rgb colourAt(int x, int y, int seed) {
    return {static_cast<std::uint8_t>(y * 37 + x * 3 + 50 + seed), static_cast<std::uint8_t>(x * 17 + y * 11 + 100 + seed),
            grayAt(x, y, seed)};
}

bool isMono(int type) { return type <= 1; }

// What the window should show for source pixel (x, y) of a frame.
Rgb expectedAt(int type, int x, int y, int seed) {
    if (isMono(type)) {
        const std::uint8_t g = grayAt(x, y, seed);
        return {g, g, g};
    }
    return colourAt(x, y, seed);
}

std::uint8_t* pixel(Surface& s, int x, int y) {
    return s.bits() + static_cast<std::size_t>(y) * s.stride() + static_cast<std::size_t>(x) * s.bytesPerPixel();
}
const std::uint8_t* pixel(const Surface& s, int x, int y) {
    return s.bits() + static_cast<std::size_t>(y) * s.stride() + static_cast<std::size_t>(x) * s.bytesPerPixel();
}

void putWord(std::uint8_t* p, unsigned value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}
unsigned wordAt(const std::uint8_t* p) { return p[0] | (p[1] << 8u); }

// Makes the pixels of the Surfaces a capture of `type` uses, as a capture start
// does, and fills the output Surface with a frame whose display values are those of
// expectedAt. The 10-bit samples carry low bits that the display conversion drops.
void loadFrame(CaptureSurfaces& surfaces, int type, int width, int height, int seed) {
    ASSERT_TRUE(surfaces.prepare(type, width, height));
    Surface& out = *surfaces.output(type);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = pixel(out, x, y);
            const Rgb c = colourAt(x, y, seed);
            switch (type) {
            case 0: p[0] = grayAt(x, y, seed); break;
            case 1: putWord(p, (grayAt(x, y, seed) << 2) | 3u); break;
            case 2: p[0] = c.b; p[1] = c.g; p[2] = c.r; break;
            case 3: p[0] = c.b; p[1] = c.g; p[2] = c.r; p[3] = 0x77; break;
            default:
                putWord(p, (c.b << 2) | 1u);
                putWord(p + 2, (c.g << 2) | 2u);
                putWord(p + 4, (c.r << 2) | 3u);
                if (type == 5) putWord(p + 6, 0x3FF);
            }
        }
    }
}

// The 8- or 24-bit Surface a colour type is displayed from.
Surface* displayableOf(CaptureSurfaces& surfaces, int type) { return surfaces.output(isMono(type) ? 0 : 2); }

class PreviewPaintTest : public ::testing::Test {
protected:
    // One application window hosts the previews of all tests (taking a top-level
    // window down is slow on some systems).
    static void SetUpTestSuite() {
        appProbe = std::make_unique<test::WindowProbe>();
        if (appProbe->ok()) app = appProbe->createAppWindow(320, 240);
    }
    static void TearDownTestSuite() {
        appProbe->destroyWindow(app);
        appProbe.reset();
        app = 0;
    }
    void SetUp() override {
        ASSERT_NE(app, 0u) << "needs a display (run under xvfb-run)";
        ASSERT_TRUE(surfaces.allocate());
        ASSERT_TRUE(window.allocateDisplay());
    }
    void TearDown() override { window.close(); }

    // A child preview window of that client size, with its kept DC.
    static void openChild(PreviewWindow& preview, int width, int height, int x = 0) {
        ASSERT_EQ(preview.open(app, PreviewRect{x, 0, width, height}, width, height), PreviewWindow::OpenResult::Opened);
        ASSERT_NE(preview.handle(), 0u);
    }
    void openChild(int width, int height) {
        openChild(window, width, height);
        probe.settle();
    }

    // Delivers the frame the Surfaces hold as the capture engine does: the
    // displayable image brought up to date, then painted (the 16-bit mono type
    // always through the display Surface). True when it was painted.
    bool paintFrame(int type) {
        const Surface* image = surfaces.updateDisplayable(type);
        return image && window.paint(*image, isMono(type), type == 1);
    }

    // How many pixels of the whole client area show source pixel sourceOf(x, y) of
    // the frame with `seed`; reports the first few that do not when `report` is set.
    template <typename SourceOf>
    int pixelsShowing(platform::WindowHandle w, int type, int seed, int width, int height, SourceOf sourceOf,
                      bool report) {
        const std::vector<Rgb> shown = probe.readClient(w, width, height);
        EXPECT_EQ(shown.size(), static_cast<std::size_t>(width * height));
        if (shown.size() != static_cast<std::size_t>(width * height)) return 0;
        int matching = 0;
        int reported = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int sx = 0, sy = 0;
                sourceOf(x, y, sx, sy);
                const Rgb want = expectedAt(type, sx, sy, seed);
                const Rgb got = shown[static_cast<std::size_t>(y * width + x)];
                if (got == want) {
                    ++matching;
                } else if (report && ++reported <= 3) {
                    ADD_FAILURE() << "window pixel (" << x << ", " << y << ") shows " << test::describe(got)
                                  << ", expected source pixel (" << sx << ", " << sy << ") "
                                  << test::describe(want);
                }
            }
        }
        return matching;
    }
    template <typename SourceOf>
    void expectWindowShows(int type, int seed, int width, int height, SourceOf sourceOf) {
        expectWindowShows(window.handle(), type, seed, width, height, sourceOf);
    }
    template <typename SourceOf>
    void expectWindowShows(platform::WindowHandle w, int type, int seed, int width, int height, SourceOf sourceOf) {
        EXPECT_EQ(pixelsShowing(w, type, seed, width, height, sourceOf, true), width * height);
    }

    static void sameSize(int x, int y, int& sx, int& sy) {
        sx = x;
        sy = y;
    }
    static void doubled(int x, int y, int& sx, int& sy) {
        sx = x / 2;
        sy = y / 2;
    }

    static std::unique_ptr<test::WindowProbe> appProbe;
    static platform::WindowHandle app;
    test::WindowProbe probe;
    CaptureSurfaces surfaces;
    PreviewWindow window;
};

std::unique_ptr<test::WindowProbe> PreviewPaintTest::appProbe;
platform::WindowHandle PreviewPaintTest::app = 0;

constexpr int kWidth = 7; // odd, so 8- and 24-bit rows carry padding
constexpr int kHeight = 5;

TEST_F(PreviewPaintTest, SameSizeWindowShowsTheImageWithMemoryRowZeroAtTheTop) {
    // A window without a display Surface object: only the straight path can paint it.
    PreviewWindow direct;
    openChild(direct, kWidth, kHeight);
    probe.settle();
    for (int type : {0, 2, 3, 4, 5}) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(surfaces, type, kWidth, kHeight, type * 10);
        const Surface* image = surfaces.updateDisplayable(type);
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(direct.paint(*image, isMono(type), false));
        expectWindowShows(direct.handle(), type, type * 10, kWidth, kHeight, sameSize);
    }
}

// A live preview paints frame after frame into a window that keeps its size: each
// frame must show, a frame converted for a window that has since been hidden or
// resized must not, and the changed window is then painted as a new one.
TEST_F(PreviewPaintTest, FramesInARowEachShowAndAChangedWindowIsPaintedAfresh) {
    openChild(kWidth, kHeight);
    for (int type : {0, 2}) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        for (int seed = 1; seed <= 4; ++seed) {
            loadFrame(surfaces, type, kWidth, kHeight, 20 * type + seed);
            ASSERT_TRUE(paintFrame(type));
            expectWindowShows(type, 20 * type + seed, kWidth, kHeight, sameSize);
        }
        probe.hide(window.handle());
        loadFrame(surfaces, type, kWidth, kHeight, 99);
        EXPECT_FALSE(paintFrame(type));
        probe.show(window.handle());
#ifndef _WIN32
        // Uncovered, the window shows the last frame painted, not the one refused.
        expectWindowShows(type, 20 * type + 4, kWidth, kHeight, sameSize);
#endif
        probe.resize(window.handle(), 2 * kWidth, 2 * kHeight);
        loadFrame(surfaces, type, kWidth, kHeight, 50 + type);
        EXPECT_TRUE(paintFrame(type));
        expectWindowShows(type, 50 + type, 2 * kWidth, 2 * kHeight, doubled);
        probe.resize(window.handle(), kWidth, kHeight);
        loadFrame(surfaces, type, kWidth, kHeight, 60 + type);
        EXPECT_TRUE(paintFrame(type));
        expectWindowShows(type, 60 + type, kWidth, kHeight, sameSize);
    }
}

TEST_F(PreviewPaintTest, Mono16TakesTheScaledPathEvenAtTheImageSize) {
    openChild(kWidth, kHeight);
    loadFrame(surfaces, 1, kWidth, kHeight, 3);
    EXPECT_TRUE(paintFrame(1));
    // The 16-bit frame was converted into the 8-bit Surface on the way.
    EXPECT_EQ(*pixel(*displayableOf(surfaces, 1), 4, 2), grayAt(4, 2, 3));
    expectWindowShows(1, 3, kWidth, kHeight, sameSize);

    // Without a display Surface object the scaled path cannot paint: a frame painted
    // straight stays in the window when the next one asks for the scaled path.
    PreviewWindow direct;
    openChild(direct, kWidth, kHeight, 20);
    probe.settle();
    const Surface* image = surfaces.updateDisplayable(1);
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(direct.paint(*image, true, false));
    loadFrame(surfaces, 1, kWidth, kHeight, 60);
    image = surfaces.updateDisplayable(1);
    ASSERT_NE(image, nullptr);
    EXPECT_FALSE(direct.paint(*image, true, true));
    expectWindowShows(direct.handle(), 1, 3, kWidth, kHeight, sameSize);
}

TEST_F(PreviewPaintTest, DoubleSizeWindowRepeatsEachPixelTwiceAcrossAndDown) {
    openChild(2 * kWidth, 2 * kHeight);
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(surfaces, type, kWidth, kHeight, type);
        EXPECT_TRUE(paintFrame(type));
        expectWindowShows(type, type, 2 * kWidth, 2 * kHeight, doubled);
    }
}

TEST_F(PreviewPaintTest, HalfSizeWindowTakesEverySecondColumnAndRow) {
    // Nearest-neighbour with the vertical flip samples the odd memory rows.
    openChild(4, 3);
    for (int type : {0, 2}) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(surfaces, type, 8, 6, 0);
        EXPECT_TRUE(paintFrame(type));
        expectWindowShows(type, 0, 4, 3, [](int x, int y, int& sx, int& sy) {
            sx = 2 * x;
            sy = 2 * y + 1;
        });
    }
}

TEST_F(PreviewPaintTest, ResizedWindowGetsANewDisplaySurfaceOnTheNextFrame) {
    openChild(2 * kWidth, 2 * kHeight);
    loadFrame(surfaces, 2, kWidth, kHeight, 0);
    EXPECT_TRUE(paintFrame(2));
    expectWindowShows(2, 0, 2 * kWidth, 2 * kHeight, doubled);

    probe.resize(window.handle(), 3 * kWidth, 3 * kHeight);
    EXPECT_TRUE(paintFrame(2));
    expectWindowShows(2, 0, 3 * kWidth, 3 * kHeight, [](int x, int y, int& sx, int& sy) {
        sx = x / 3;
        sy = y / 3;
    });
}

TEST_F(PreviewPaintTest, DisplaySurfaceOfTheOtherDepthIsRemade) {
    // A capture start makes the display Surface for its own depth; a frame of the
    // other depth at the same client size must not be scaled into it (24-bit pixels
    // in 8-bit rows would be written past their end).
    openChild(2 * kWidth, 2 * kHeight);
    for (int type : {2, 0, 4, 1}) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        window.prepareDisplay(!isMono(type));
        loadFrame(surfaces, type, kWidth, kHeight, 5 + type);
        EXPECT_TRUE(paintFrame(type));
        expectWindowShows(type, 5 + type, 2 * kWidth, 2 * kHeight, doubled);
    }
}

TEST_F(PreviewPaintTest, HiddenWindowIsNotPaintedButTheFrameIsStillConverted) {
    openChild(2 * kWidth, 2 * kHeight);
    loadFrame(surfaces, 4, kWidth, kHeight, 0);
    EXPECT_TRUE(paintFrame(4));

    probe.hide(window.handle());
    EXPECT_FALSE(platform::isWindowVisible(window.handle()));
    loadFrame(surfaces, 4, kWidth, kHeight, 100);
    EXPECT_FALSE(paintFrame(4));
    const std::uint8_t* converted = pixel(*displayableOf(surfaces, 4), 3, 1);
    EXPECT_EQ(converted[2], colourAt(3, 1, 100).r);
    EXPECT_EQ(converted[0], colourAt(3, 1, 100).b);

    probe.show(window.handle());
    EXPECT_EQ(pixelsShowing(window.handle(), 4, 100, 2 * kWidth, 2 * kHeight, doubled, false), 0)
        << "the hidden window was painted";
#ifndef _WIN32
    // The server repaints an uncovered window from the last frame painted.
    expectWindowShows(4, 0, 2 * kWidth, 2 * kHeight, doubled);
#endif
}

TEST_F(PreviewPaintTest, MissingWindowDcOrSurfacesPaintNothingAndNeverCrash) {
    // Surface objects never made, then made without pixels: nothing to display.
    CaptureSurfaces none;
    for (int type = -1; type <= 6; ++type) EXPECT_EQ(none.updateDisplayable(type), nullptr) << type;
    for (int type = -1; type <= 6; ++type) EXPECT_EQ(surfaces.updateDisplayable(type), nullptr) << type;

    // No window: every frame is refused.
    loadFrame(surfaces, 3, kWidth, kHeight, 9);
    const Surface* image = surfaces.updateDisplayable(3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixel(*image, 6, 4)[1], colourAt(6, 4, 9).g);
    window.prepareDisplay(false);
    EXPECT_FALSE(window.paint(*image, false, false));
    EXPECT_FALSE(window.paint(*image, false, true));

    openChild(2 * kWidth, 2 * kHeight);
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(surfaces, type, kWidth, kHeight, 0);
        // The displayable Surface empty, then of a depth the type does not display.
        Surface& displayable = *displayableOf(surfaces, type);
        displayable.release();
        EXPECT_EQ(surfaces.updateDisplayable(type), nullptr);
        ASSERT_TRUE(displayable.create(kWidth, kHeight, isMono(type) ? 24 : 8));
        EXPECT_EQ(surfaces.updateDisplayable(type), nullptr);
        // Handed to the window anyway: refused.
        EXPECT_FALSE(window.paint(displayable, isMono(type), false));
        EXPECT_FALSE(window.paint(displayable, isMono(type), true));
    }
    // Conversion sources of the wrong depth are not converted from.
    loadFrame(surfaces, 1, kWidth, kHeight, 0);
    Surface& source = *surfaces.output(1);
    source.release();
    ASSERT_TRUE(source.create(kWidth, kHeight, 48));
    image = surfaces.updateDisplayable(1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(*pixel(*image, 1, 1), 0);
}

TEST_F(PreviewPaintTest, FramesPaintedOnAnotherThreadReachTheWindowAndCloseWaitsForThem) {
    // The window belongs to this thread; the capture thread paints through the kept DC.
    openChild(2 * kWidth, 2 * kHeight);
    loadFrame(surfaces, 5, kWidth, kHeight, 8);
    const Surface* image = surfaces.updateDisplayable(5);
    ASSERT_NE(image, nullptr);
    std::thread([&] { EXPECT_TRUE(window.paint(*image, false, false)); }).join();
    expectWindowShows(5, 8, 2 * kWidth, 2 * kHeight, doubled);

    // Closing while frames keep arriving: a paint in progress finishes first, later
    // ones find no window.
    std::atomic<int> painted{0};
    std::atomic<int> paintedAfterClose{0};
    std::atomic<bool> closed{false};
    std::atomic<bool> stop{false};
    std::thread painter([&] {
        while (!stop.load()) {
            const bool wasClosed = closed.load();
            if (window.paint(*image, false, false) && wasClosed) paintedAfterClose.fetch_add(1);
            painted.fetch_add(1);
        }
    });
    while (painted.load() < 3) std::this_thread::yield();
    window.close();
    closed.store(true);
    const int atClose = painted.load();
    while (painted.load() < atClose + 3) std::this_thread::yield();
    stop.store(true);
    painter.join();
    EXPECT_EQ(window.handle(), 0u);
    EXPECT_EQ(paintedAfterClose.load(), 0);
}

TEST_F(PreviewPaintTest, CloseReleasesTheDcDestroysTheWindowAndUnregistersTheClass) {
    openChild(kWidth, kHeight);
    const platform::WindowHandle handle = window.handle();
    const std::string className = window.className();
    EXPECT_TRUE(window.isOpen());
    EXPECT_TRUE(platform::isPreviewClassRegistered(className.c_str()));

    window.close();
    EXPECT_FALSE(window.isOpen());
    EXPECT_EQ(window.handle(), 0u);
    EXPECT_EQ(window.className(), "");
    EXPECT_FALSE(platform::isPreviewClassRegistered(className.c_str()));
    EXPECT_FALSE(probe.exists(handle));

    window.close(); // again: nothing left to do
    loadFrame(surfaces, 2, kWidth, kHeight, 0);
    EXPECT_FALSE(paintFrame(2)); // after close: nothing to paint into
}

TEST_F(PreviewPaintTest, EveryWindowGetsAClassOfItsOwn) {
    PreviewWindow other;
    openChild(kWidth, kHeight);
    openChild(other, kWidth, kHeight, 20);

    // "VideoRenderer_" + the window object's address + '_' + a random part, 8 hex
    // digits each.
    char address[16];
    std::snprintf(address, sizeof(address), "%08x", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&window)));
    const std::string name = window.className();
    ASSERT_EQ(name.size(), 14u + 8u + 1u + 8u);
    EXPECT_EQ(name.substr(0, 14), "VideoRenderer_");
    EXPECT_EQ(name.substr(14, 8), address);
    EXPECT_EQ(name[22], '_');
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 23), std::string::npos);
    EXPECT_NE(name, other.className());

    // A second window of one object replaces the first, class and all.
    const platform::WindowHandle first = window.handle();
    openChild(kWidth, kHeight);
    EXPECT_FALSE(probe.exists(first));
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
    EXPECT_TRUE(platform::isPreviewClassRegistered(window.className().c_str()));
    other.close();
}

// ---- whole captures --------------------------------------------------------------------

// What the window shows for pixel (x, y) of an output image of colour type `type`
// as GetImage returns it (top row first).
Rgb displayedFrom(const std::vector<std::uint8_t>& image, int type, int width, int height, int x, int y) {
    const int bytes = bitsPerPixelOfColorType(type) / 8;
    const std::uint32_t stride = Surface::strideFor(width, static_cast<std::uint16_t>(8 * bytes));
    EXPECT_LE(static_cast<std::size_t>(stride) * height, image.size());
    const std::uint8_t* p = image.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * bytes;
    const auto tenBit = [](unsigned word) { return static_cast<std::uint8_t>(word >> 2); };
    switch (type) {
    case 0: return {p[0], p[0], p[0]};
    case 1: {
        const std::uint8_t g = tenBit(wordAt(p));
        return {g, g, g};
    }
    case 2:
    case 3: return {p[2], p[1], p[0]};
    default: return {tenBit(wordAt(p + 4)), tenBit(wordAt(p + 2)), tenBit(wordAt(p))};
    }
}

class PreviewOfACapture : public test::StartedCamera {
protected:
    static constexpr int kImageWidth = 48;
    static constexpr int kImageHeight = 36;

    void SetUp() override {
        ASSERT_TRUE(probe.ok()) << "needs a display (run under xvfb-run)";
        app = probe.createAppWindow(4 * kImageWidth, 4 * kImageHeight);
        ASSERT_NE(app, 0u);
        StartedCamera::SetUp();
        // A corner where two of the chart's bars meet the gray ramp below them, so
        // the image is neither symmetric left to right nor top to bottom.
        ASSERT_EQ(camera().setCaptureWindowEx(1360, 660, kImageWidth, 1024, 750, kImageHeight), 1);
    }
    void TearDown() override {
        StartedCamera::TearDown();
        probe.destroyWindow(app);
    }

    // Previews until a frame has been processed, then stops: the window shows the
    // last frame, which GetImage returns.
    std::vector<std::uint8_t> previewOneFrame(int type) {
        const std::size_t size = static_cast<std::size_t>(
            Surface::strideFor(kImageWidth, static_cast<std::uint16_t>(bitsPerPixelOfColorType(type))) * kImageHeight);
        std::vector<std::uint8_t> image(size);
        EXPECT_EQ(camera().preview(), 1);
        EXPECT_NE(camera().previewWindow(), 0u);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool got = false;
        while (!got && std::chrono::steady_clock::now() < deadline) {
            got = camera().getImage(image.data(), static_cast<std::int32_t>(size), 1) == 1;
            if (!got) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(got) << "no frame within 5 s";
        EXPECT_EQ(camera().stopPreview(), 1);
        while (camera().popError() != 0) {
        } // the polls before the first frame found no image
        EXPECT_EQ(camera().getImage(image.data(), static_cast<std::int32_t>(size), 1), 1);
        return image;
    }

    test::WindowProbe probe;
    platform::WindowHandle app = 0;
};

TEST_F(PreviewOfACapture, EveryColourTypeShowsTheImageOfTheFrameAtTheWindowsSize) {
    for (int type = 0; type <= 5; ++type) {
        for (int scale : {1, 2}) {
            SCOPED_TRACE("colour type " + std::to_string(type) + ", window scale " + std::to_string(scale));
            const int w = scale * kImageWidth;
            const int h = scale * kImageHeight;
            ASSERT_EQ(camera().setColorMode(bitsPerPixelOfColorType(type)), 1);
            ASSERT_EQ(camera().setPreviewWindow(app, PreviewRect{0, 0, w, h}), 1);
            const std::vector<std::uint8_t> image = previewOneFrame(type);
            const platform::WindowHandle shown = camera().previewWindow();
            const std::vector<Rgb> pixels = probe.readClient(shown, w, h);
            ASSERT_EQ(pixels.size(), static_cast<std::size_t>(w * h));

            std::set<std::uint32_t> distinct;
            int mismatches = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const Rgb want = displayedFrom(image, type, kImageWidth, kImageHeight, x / scale, y / scale);
                    const Rgb got = pixels[static_cast<std::size_t>(y * w + x)];
                    distinct.insert((want.r << 16u) | (want.g << 8u) | want.b);
                    if (got != want && ++mismatches <= 3)
                        ADD_FAILURE() << "window pixel (" << x << ", " << y << ") shows " << test::describe(got)
                                      << ", the image " << test::describe(want);
                }
            }
            EXPECT_EQ(mismatches, 0);
            EXPECT_GT(distinct.size(), 8u) << "a frame without detail shows nothing of the orientation";
            EXPECT_EQ(camera().close(), 1);
            EXPECT_EQ(camera().previewWindow(), 0u);
            EXPECT_FALSE(probe.exists(shown));
        }
    }
}

} // namespace
} // namespace orvix
