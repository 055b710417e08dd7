#include "screens/FrameInterface.h"

namespace {
IFrame* g_pFrame = nullptr;
}  // namespace

IFrame* GetFrame() {
    return g_pFrame;
}

void SetFrame(IFrame* frame) {
    g_pFrame = frame;
}
