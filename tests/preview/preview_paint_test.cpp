// Painting frames into the preview window, read back from the window system: the
// orientation (memory row 0 at the top), the same-size and scaled paths for every
// colour type, the display Surface following the client size, windows that must
// not be painted, and the teardown of windows and classes.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "platform/preview_window.h"
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

void putWord(std::uint8_t* p, unsigned value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

std::unique_ptr<Surface> makeSurface(int width, int height, std::uint16_t bits) {
    auto s = std::make_unique<Surface>();
    EXPECT_TRUE(s->create(width, height, bits));
    return s;
}

// Makes the Surfaces the capture engine keeps for `type` and fills the output
// Surface with a frame whose display values are those of expectedAt. The 10-bit
// samples carry low bits that the display conversion drops.
void loadFrame(Camera& camera, int type, int width, int height, int seed) {
    camera.colorType = type;
    camera.surface8.reset();
    camera.surface16.reset();
    camera.surface24.reset();
    camera.surface32.reset();
    camera.surface48.reset();
    camera.surface64.reset();
    if (type <= 3) camera.surface8 = makeSurface(width, height, 8);
    if (type == 1 || type >= 4) camera.surface16 = makeSurface(width, height, 16);
    if (type != 1) camera.surface24 = makeSurface(width, height, 24);
    if (type == 3) camera.surface32 = makeSurface(width, height, 32);
    if (type == 4) camera.surface48 = makeSurface(width, height, 48);
    if (type == 5) camera.surface64 = makeSurface(width, height, 64);

    Surface* output[] = {camera.surface8.get(), camera.surface16.get(), camera.surface24.get(),
                         camera.surface32.get(), camera.surface48.get(), camera.surface64.get()};
    Surface& out = *output[type];
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
    void SetUp() override { ASSERT_NE(app, 0u) << "needs a display (run under xvfb-run)"; }
    void TearDown() override { camera.closePreviewWindow(); }

    // A child preview window of that client size with its kept DC, as the capture
    // engine makes it.
    void openChild(int width, int height) {
        camera.previewWindow = camera.createPreviewWindow(app, PreviewRect{0, 0, width, height});
        ASSERT_NE(camera.previewWindow, 0u);
        camera.previewDC = platform::WindowDC::acquire(camera.previewWindow);
        ASSERT_NE(camera.previewDC, nullptr);
        probe.settle();
    }

    // Paints and compares the whole client area with source pixel sourceOf(x, y).
    template <typename SourceOf>
    void expectWindowShows(int type, int seed, int width, int height, SourceOf sourceOf) {
        const std::vector<Rgb> shown = probe.readClient(camera.previewWindow, width, height);
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(width * height));
        int mismatches = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int sx = 0, sy = 0;
                sourceOf(x, y, sx, sy);
                const Rgb want = expectedAt(type, sx, sy, seed);
                const Rgb got = shown[static_cast<std::size_t>(y * width + x)];
                if (got != want && ++mismatches <= 3) {
                    ADD_FAILURE() << "window pixel (" << x << ", " << y << ") shows " << test::describe(got)
                                  << ", expected source pixel (" << sx << ", " << sy << ") "
                                  << test::describe(want);
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    static std::unique_ptr<test::WindowProbe> appProbe;
    static platform::WindowHandle app;
    test::WindowProbe probe;
    Camera camera;
};

std::unique_ptr<test::WindowProbe> PreviewPaintTest::appProbe;
platform::WindowHandle PreviewPaintTest::app = 0;

constexpr int kWidth = 7; // odd, so 8- and 24-bit rows carry padding
constexpr int kHeight = 5;

TEST_F(PreviewPaintTest, SameSizeWindowShowsTheImageWithMemoryRowZeroAtTheTop) {
    openChild(kWidth, kHeight);
    for (int type : {0, 2, 3, 4, 5}) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(camera, type, kWidth, kHeight, type * 10);
        camera.paintPreview();
        expectWindowShows(type, type * 10, kWidth, kHeight, [](int x, int y, int& sx, int& sy) {
            sx = x;
            sy = y;
        });
        // Painted straight from the image: no display Surface was needed.
        EXPECT_TRUE(!camera.displaySurface || camera.displaySurface->isEmpty());
    }
}

TEST_F(PreviewPaintTest, Mono16TakesTheScaledPathEvenAtTheImageSize) {
    openChild(kWidth, kHeight);
    loadFrame(camera, 1, kWidth, kHeight, 3);
    camera.paintPreview();
    ASSERT_NE(camera.displaySurface, nullptr);
    EXPECT_EQ(camera.displaySurface->width(), kWidth);
    EXPECT_EQ(camera.displaySurface->height(), kHeight);
    EXPECT_EQ(camera.displaySurface->bitsPerPixel(), 8);
    EXPECT_EQ(camera.displaySurface->colorTable()[200].green, 200); // the gray ramp
    // The 16-bit frame was converted into the 8-bit Surface on the way.
    EXPECT_EQ(*pixel(*camera.surface8, 4, 2), grayAt(4, 2, 3));
    expectWindowShows(1, 3, kWidth, kHeight, [](int x, int y, int& sx, int& sy) {
        sx = x;
        sy = y;
    });
}

TEST_F(PreviewPaintTest, DoubleSizeWindowRepeatsEachPixelTwiceAcrossAndDown) {
    openChild(2 * kWidth, 2 * kHeight);
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(camera, type, kWidth, kHeight, type);
        camera.paintPreview();
        ASSERT_NE(camera.displaySurface, nullptr);
        EXPECT_EQ(camera.displaySurface->width(), 2 * kWidth);
        EXPECT_EQ(camera.displaySurface->height(), 2 * kHeight);
        EXPECT_EQ(camera.displaySurface->bitsPerPixel(), isMono(type) ? 8 : 24);
        expectWindowShows(type, type, 2 * kWidth, 2 * kHeight, [](int x, int y, int& sx, int& sy) {
            sx = x / 2;
            sy = y / 2;
        });
    }
}

TEST_F(PreviewPaintTest, HalfSizeWindowTakesEverySecondColumnAndRow) {
    // Nearest-neighbour with the vertical flip samples the odd memory rows.
    openChild(4, 3);
    for (int type : {0, 2}) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(camera, type, 8, 6, 0);
        camera.paintPreview();
        expectWindowShows(type, 0, 4, 3, [](int x, int y, int& sx, int& sy) {
            sx = 2 * x;
            sy = 2 * y + 1;
        });
    }
}

TEST_F(PreviewPaintTest, ResizedWindowGetsANewDisplaySurfaceOnTheNextFrame) {
    openChild(2 * kWidth, 2 * kHeight);
    loadFrame(camera, 2, kWidth, kHeight, 0);
    camera.paintPreview();
    ASSERT_NE(camera.displaySurface, nullptr);
    EXPECT_EQ(camera.displaySurface->width(), 2 * kWidth);

    probe.resize(camera.previewWindow, 3 * kWidth, 3 * kHeight);
    camera.paintPreview();
    EXPECT_EQ(camera.displaySurface->width(), 3 * kWidth);
    EXPECT_EQ(camera.displaySurface->height(), 3 * kHeight);
    expectWindowShows(2, 0, 3 * kWidth, 3 * kHeight, [](int x, int y, int& sx, int& sy) {
        sx = x / 3;
        sy = y / 3;
    });
}

TEST_F(PreviewPaintTest, DisplaySurfaceOfTheOtherDepthIsRemade) {
    // Left from a mono capture at the same client size: scaling 24-bit pixels into
    // it would write past its rows.
    openChild(2 * kWidth, 2 * kHeight);
    camera.displaySurface = makeSurface(2 * kWidth, 2 * kHeight, 8);
    loadFrame(camera, 2, kWidth, kHeight, 5);
    camera.paintPreview();
    EXPECT_EQ(camera.displaySurface->bitsPerPixel(), 24);
    expectWindowShows(2, 5, 2 * kWidth, 2 * kHeight, [](int x, int y, int& sx, int& sy) {
        sx = x / 2;
        sy = y / 2;
    });
}

TEST_F(PreviewPaintTest, HiddenWindowIsNotPaintedButTheFrameIsStillConverted) {
    openChild(2 * kWidth, 2 * kHeight);
    loadFrame(camera, 4, kWidth, kHeight, 0);
    camera.paintPreview();
    camera.displaySurface.reset();

    probe.hide(camera.previewWindow);
    EXPECT_FALSE(platform::isWindowVisible(camera.previewWindow));
    loadFrame(camera, 4, kWidth, kHeight, 100);
    camera.paintPreview();
    EXPECT_EQ(camera.displaySurface, nullptr);
    const std::uint8_t* converted = pixel(*camera.surface24, 3, 1);
    EXPECT_EQ(converted[2], colourAt(3, 1, 100).r);
    EXPECT_EQ(converted[0], colourAt(3, 1, 100).b);

    probe.show(camera.previewWindow);
    const std::vector<Rgb> shown = probe.readClient(camera.previewWindow, 2 * kWidth, 2 * kHeight);
    ASSERT_FALSE(shown.empty());
    for (int y = 0; y < 2 * kHeight; ++y) {
        for (int x = 0; x < 2 * kWidth; ++x) {
            const Rgb got = shown[static_cast<std::size_t>(y * 2 * kWidth + x)];
            ASSERT_NE(got, expectedAt(4, x / 2, y / 2, 100)) << "the hidden window was painted at " << x << ", " << y;
#ifndef _WIN32
            // The server repaints an uncovered window from the last frame painted.
            ASSERT_EQ(got, expectedAt(4, x / 2, y / 2, 0)) << x << ", " << y;
#endif
        }
    }
}

TEST_F(PreviewPaintTest, MissingWindowDcOrSurfacesPaintNothingAndNeverCrash) {
    // No window at all, every colour type, Surfaces missing.
    for (int type = -1; type <= 6; ++type) {
        camera.colorType = type;
        camera.paintPreview();
    }
    // A window but no DC: the conversion still happens.
    camera.previewWindow = camera.createPreviewWindow(app, PreviewRect{0, 0, 20, 10});
    ASSERT_NE(camera.previewWindow, 0u);
    loadFrame(camera, 3, kWidth, kHeight, 9);
    camera.paintPreview();
    EXPECT_EQ(pixel(*camera.surface24, 6, 4)[1], colourAt(6, 4, 9).g);
    EXPECT_EQ(camera.displaySurface, nullptr);

    camera.previewDC = platform::WindowDC::acquire(camera.previewWindow);
    ASSERT_NE(camera.previewDC, nullptr);
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE("colour type " + std::to_string(type));
        loadFrame(camera, type, kWidth, kHeight, 0);
        // Output Surface missing, then empty, then of a depth the type does not use.
        Surface* displayable = isMono(type) ? camera.surface8.get() : camera.surface24.get();
        displayable->release();
        camera.paintPreview();
        ASSERT_TRUE(displayable->create(kWidth, kHeight, isMono(type) ? 24 : 8));
        camera.paintPreview();
        camera.surface8.reset();
        camera.surface24.reset();
        camera.paintPreview();
    }
    // Conversion sources of the wrong depth are not converted from.
    loadFrame(camera, 1, kWidth, kHeight, 0);
    camera.surface16 = makeSurface(kWidth, kHeight, 48);
    camera.paintPreview();
    EXPECT_EQ(*pixel(*camera.surface8, 1, 1), 0);
}

TEST_F(PreviewPaintTest, FramesPaintedOnAnotherThreadReachTheWindowAndCloseWaitsForThem) {
    // The window belongs to this thread; the capture thread paints through the kept DC.
    openChild(2 * kWidth, 2 * kHeight);
    loadFrame(camera, 5, kWidth, kHeight, 8);
    std::thread([this] { camera.paintPreview(); }).join();
    expectWindowShows(5, 8, 2 * kWidth, 2 * kHeight, [](int x, int y, int& sx, int& sy) {
        sx = x / 2;
        sy = y / 2;
    });

    // Closing while frames keep arriving: a paint in progress finishes first, later
    // ones find no window.
    std::atomic<int> painted{0};
    std::atomic<bool> stop{false};
    std::thread painter([&] {
        while (!stop.load()) {
            camera.paintPreview();
            painted.fetch_add(1);
        }
    });
    while (painted.load() < 3) std::this_thread::yield();
    camera.closePreviewWindow();
    const int atClose = painted.load();
    while (painted.load() < atClose + 3) std::this_thread::yield();
    stop.store(true);
    painter.join();
    EXPECT_EQ(camera.previewWindow, 0u);
}

TEST_F(PreviewPaintTest, CloseReleasesTheDcDestroysTheWindowAndUnregistersTheClass) {
    openChild(kWidth, kHeight);
    const platform::WindowHandle window = camera.previewWindow;
    const std::string className = camera.previewClassName;
    EXPECT_TRUE(platform::isPreviewClassRegistered(className.c_str()));

    camera.closePreviewWindow();
    EXPECT_EQ(camera.previewDC, nullptr);
    EXPECT_EQ(camera.previewWindow, 0u);
    EXPECT_STREQ(camera.previewClassName, "");
    EXPECT_FALSE(platform::isPreviewClassRegistered(className.c_str()));
    EXPECT_FALSE(probe.exists(window));

    camera.closePreviewWindow(); // again: nothing left to do
    loadFrame(camera, 2, kWidth, kHeight, 0);
    camera.paintPreview(); // after close: nothing to paint into
}

TEST_F(PreviewPaintTest, EveryWindowGetsAClassOfItsOwn) {
    Camera other;
    openChild(kWidth, kHeight);
    other.previewWindow = other.createPreviewWindow(app, PreviewRect{20, 0, kWidth, kHeight});
    ASSERT_NE(other.previewWindow, 0u);

    // "VideoRenderer_" + the Camera's address + '_' + a random part, 8 hex digits each.
    char address[16];
    std::snprintf(address, sizeof(address), "%08x", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&camera)));
    const std::string name = camera.previewClassName;
    ASSERT_EQ(name.size(), 14u + 8u + 1u + 8u);
    EXPECT_EQ(name.substr(0, 14), "VideoRenderer_");
    EXPECT_EQ(name.substr(14, 8), address);
    EXPECT_EQ(name[22], '_');
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 23), std::string::npos);
    EXPECT_STRNE(camera.previewClassName, other.previewClassName);

    // A second window of one Camera replaces the first, class and all.
    const platform::WindowHandle first = camera.previewWindow;
    camera.previewWindow = camera.createPreviewWindow(app, PreviewRect{0, 0, kWidth, kHeight});
    ASSERT_NE(camera.previewWindow, 0u);
    EXPECT_FALSE(probe.exists(first));
    EXPECT_FALSE(platform::isPreviewClassRegistered(name.c_str()));
    EXPECT_TRUE(platform::isPreviewClassRegistered(camera.previewClassName));
    other.closePreviewWindow();
}

} // namespace
} // namespace orvix
