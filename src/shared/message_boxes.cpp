#include "shared/message_boxes.h"

#include <cstdio>

#include "platform/environment.h"
#include "platform/message_box.h"
#include "shared/trace.h"

namespace trv {
namespace {

constexpr const char* kErrorBoxCaption = "HLLAPI for TRV Bridge error!";
constexpr int kIdOk = 1;

void Report(const char* caption, const char* text) {
    TRV_TRACE("MessageBox [%s] %s", caption, text);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

}  // namespace

bool UnattendedMode() {
    // Read every time: a box is rare, and tests switch the setting per process.
    auto value = platform::GetEnvironment("TRVHA64_UNATTENDED");
    return value && !value->empty() && *value != "0";
}

int ShowLibraryMessageBox(const char* caption, const char* text, std::uint32_t flags) {
    if (caption == nullptr) caption = "";
    if (text == nullptr) text = "";
    if (UnattendedMode()) {
        Report(caption, text);
        return kIdOk;
    }
    return platform::ShowMessageBox(caption, text, flags);
}

void ShowErrorBox(const char* text) {
    if (text == nullptr) text = "";
    if (UnattendedMode()) {
        Report(kErrorBoxCaption, text);
        return;
    }
    platform::ShowWarningBoxTopmost(kErrorBoxCaption, text);
}

}  // namespace trv
