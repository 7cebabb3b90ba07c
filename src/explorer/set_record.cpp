#include "set_record.h"

namespace explorer {

std::optional<common::SetRecord> SetRecordOf(const RenderJob& job, const ColourScheme& colours) {
    common::SetRecord record;
    record.julia = job.kind == SetKind::Julia;
    record.reMin = job.view.ReMin;
    record.reMax = job.view.ReMax;
    record.imMin = job.view.ImMin;
    record.imMax = job.view.ImMax;
    record.juliaRe = job.juliaC.Re;
    record.juliaIm = job.juliaC.Im;
    record.border = {colours.BorderR, colours.BorderG, colours.BorderB};
    record.main = {colours.MainR, colours.MainG, colours.MainB};
    record.additive = colours.AdditiveMix;
    record.width = job.frame.FrameRight - job.frame.FrameLeft;
    record.height = job.frame.FrameBottom - job.frame.FrameTop;
    if (!common::IsDrawable(record)) {
        return std::nullopt;
    }
    return record;
}

} // namespace explorer
