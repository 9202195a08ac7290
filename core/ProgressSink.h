#pragma once

#include <cstddef>

namespace zelv4 {

// The stages of an operation that a front end may draw progress for.
enum class OperationPhase {
    FindDevice,     // one FindIspDevice
    BusScan,        // one CountBusDevices
    WaitForDevice,  // Auto's waiting: attempt n of 31
    LoadImage,      // reading the firmware file
    Erase,          // the mass-erase request
    Write,          // block k of 640
    Verify,         // block k of 640
    Read,           // block k of 640
    ExitIsp,        // the leave-ISP request
};

// The short name a progress display gives the phases that last long enough to draw
// (Auto's wait and the block phases); null for the others.
constexpr const char* DrawnPhaseName(OperationPhase phase)
{
    switch (phase) {
    case OperationPhase::WaitForDevice:
        return "wait";
    case OperationPhase::Erase:
        return "erase";
    case OperationPhase::Write:
        return "write";
    case OperationPhase::Verify:
        return "verify";
    case OperationPhase::Read:
        return "read";
    default:
        return nullptr;
    }
}

// done counts finished steps of the phase: 0 of total when the phase starts, then
// k + 1 after block k (or after wait attempt k + 1). A phase that fails stops short
// of total; OnPhaseEnd tells how it ended.
struct ProgressEvent {
    OperationPhase phase = OperationPhase::FindDevice;
    std::size_t done = 0;
    std::size_t total = 0;
};

// Where the operations report progress. The window shows none and passes no sink;
// the command line draws bars from it.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void OnProgress(const ProgressEvent& event) = 0;
    virtual void OnPhaseEnd(OperationPhase /*phase*/, bool /*succeeded*/) {}
};

}  // namespace zelv4
