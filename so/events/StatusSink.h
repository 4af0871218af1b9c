#pragma once
// IStatusSink: where the status monitor hands its status updates, on the monitor's thread.
namespace vtx {

class IStatusSink {
public:
    // Queues one status update for the application. May throw std::bad_alloc.
    virtual long QueueStatusUpdate(long status) = 0;

protected:
    ~IStatusSink() = default;
};

} // namespace vtx
