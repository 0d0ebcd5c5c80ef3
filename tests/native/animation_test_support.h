#pragma once

#include <cstdint>
#include <vector>

#include "imagefiles/animation.h"

// An animation held in memory: frames of 0xAARRGGBB pixels, row 0 at the top.
class StoredFrames : public FrameSequence {
  public:
    StoredFrames(int width, int height) : width_(width), height_(height) {}

    // A frame of one pixel value, to be changed pixel by pixel with at().
    std::vector<std::uint32_t>& addFrame(std::uint32_t pixel) {
        frames_.emplace_back(static_cast<std::size_t>(width_) * height_, pixel);
        return frames_.back();
    }
    std::uint32_t& at(int frame, int column, int row) {
        return frames_[frame][static_cast<std::size_t>(row) * width_ + column];
    }

    int frameCount() const override { return static_cast<int>(frames_.size()); }
    int width() const override { return width_; }
    int height() const override { return height_; }
    int passes = 0; // how often the frames were gone through

    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override {
        ++passes;
        for (int k = 0; k < frameCount(); ++k) {
            const FrameView view{frames_[k].data(), width_, height_, width_};
            if (!visit(k, view)) return false;
        }
        return true;
    }

  private:
    int width_, height_;
    std::vector<std::vector<std::uint32_t>> frames_;
};
