// The control segment "trvhaShared", mapped on first use (the library's
// static initialisation touches it before the process entry runs) and
// released explicitly at process detach, so that no static destructor order
// can pull it away from code that still runs during unload.
#include <cstring>
#include <new>

#include "platform/error.h"
#include "platform/mapping.h"
#include "shared/control_segment.h"
#include "shared/shared_control.h"

namespace trv {
namespace {

struct ControlSegment {
    platform::Handle mapping = platform::kNoHandle;
    SharedControl* view = nullptr;
    std::uint32_t error = 0;
    SharedControl privateZero{};  // stands in when the segment cannot be mapped
};

ControlSegment& Segment() {
    // Never destroyed: ReleaseControlSegment unmaps at detach.
    alignas(ControlSegment) static unsigned char storage[sizeof(ControlSegment)];
    static ControlSegment* segment = [] {
        auto* s = new (storage) ControlSegment();
        platform::CreatedMapping created =
            platform::CreateNamedMapping(kControlSegmentName, sizeof(SharedControl));
        if (created.handle == platform::kNoHandle) {
            s->error = platform::LastError();
            return s;
        }
        s->mapping = created.handle;
        s->view = static_cast<SharedControl*>(platform::MapView(created.handle, sizeof(SharedControl)));
        if (s->view == nullptr) s->error = platform::LastError();
        return s;
    }();
    return *segment;
}

}  // namespace

SharedControl& Control() {
    ControlSegment& s = Segment();
    return s.view != nullptr ? *s.view : s.privateZero;
}

bool ControlSegmentMapped() { return Segment().view != nullptr; }

std::uint32_t ControlSegmentError() { return Segment().error; }

void ReleaseControlSegment() {
    ControlSegment& s = Segment();
    if (s.view != nullptr) platform::UnmapView(s.view, sizeof(SharedControl));
    s.view = nullptr;
    if (s.mapping != platform::kNoHandle) platform::CloseObject(s.mapping);
    s.mapping = platform::kNoHandle;
}

}  // namespace trv
