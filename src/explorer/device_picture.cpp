#include "device_picture.h"

#include <algorithm>
#include <cmath>

namespace explorer {

void DevicePicture::resize(double ratio, int logicalWidth, int logicalHeight) {
    m_ratio = ratio > 1.0 ? ratio : 1.0;
    m_noted = {};
    m_before = {};
    if (!active()) {
        m_canvas = common::Canvas();
        return;
    }
    m_canvas.resize(edge(logicalWidth), edge(logicalHeight), common::kBlack);
}

int DevicePicture::edge(int logical) const {
    return static_cast<int>(std::lround(static_cast<double>(logical) * m_ratio));
}

RenderJob DevicePicture::deviceJob(const RenderJob& logical) const {
    RenderJob job = logical;
    job.frame = {edge(logical.frame.FrameLeft), edge(logical.frame.FrameRight), edge(logical.frame.FrameTop),
                 edge(logical.frame.FrameBottom)};
    return job;
}

void DevicePicture::clear() {
    m_canvas.fill(common::kBlack);
}

void DevicePicture::showImage(const common::RgbImage& image) {
    m_canvas.fill(common::kBlack);
    m_canvas.stretchImage({0, 0, edge(image.width), edge(image.height)}, image);
}

void DevicePicture::noteBefore(const common::Canvas& logical, common::Rect area) {
    m_noted = {std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, logical.width()),
               std::min(area.bottom, logical.height())};
    m_before = active() && m_noted.width() > 0 && m_noted.height() > 0 ? logical.copyRect(m_noted)
                                                                       : common::RgbImage();
}

void DevicePicture::repeatChanges(const common::Canvas& logical) {
    if (m_before.empty()) {
        return;
    }
    const bool notXor = logical.rasterMode() == common::RasterMode::NotXor;
    for (int y = m_noted.top; y < m_noted.bottom; ++y) {
        for (int x = m_noted.left; x < m_noted.right; ++x) {
            const common::Colour was = m_before.at(x - m_noted.left, y - m_noted.top);
            const common::Colour now = logical.pixel(x, y);
            if (was == now) {
                continue;
            }
            for (int dy = edge(y); dy < edge(y + 1); ++dy) {
                for (int dx = edge(x); dx < edge(x + 1); ++dx) {
                    common::Colour c = now;
                    if (notXor) {
                        const common::Colour d = m_canvas.pixel(dx, dy);
                        c = {static_cast<std::uint8_t>(d.r ^ was.r ^ now.r),
                             static_cast<std::uint8_t>(d.g ^ was.g ^ now.g),
                             static_cast<std::uint8_t>(d.b ^ was.b ^ now.b)};
                    }
                    m_canvas.setPixel(dx, dy, c);
                }
            }
        }
    }
    m_before = {};
}

} // namespace explorer
