// A fixture for the demo's GL tests: an offscreen 640x480 context with the window's view, the
// repository root as working directory (for data/), and the fake sound layer reset.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/offscreen/offscreen_gl.h"

class DemoGL : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The view the window sets up for its client area: viewport and perspective projection.
    static void set_window_view();
    // Sets what the sound layer reports as the stream position, so the next frame's clock.
    static void set_clock(int ms);
    std::vector<uint8_t> pixels() const { return gl_->read_rgba(); }

    std::unique_ptr<OffscreenGL> gl_;
};

// Only the red, green and blue channels of an RGBA picture.
std::vector<uint8_t> rgb_of(const std::vector<uint8_t>& rgba);
