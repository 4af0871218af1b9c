#pragma once
// IEventOwner: what the event window needs of the object it fires for. Called on the
// application's thread (the window's), and Trace from the dispatch thread too.
#include <windows.h>
#include <oaidl.h>

namespace vtx {

class CTraceLog;

class IEventOwner {
public:
    // Keeps the owner alive across an event, in which the application may let go of it.
    virtual ULONG ExternalAddRef() = 0;
    virtual ULONG ExternalRelease() = 0;
    // The Control Object to fire at, or null; and the DISPID of its "SOStatusUpdate".
    virtual IDispatch* ControlObject() const = 0;
    virtual DISPID StatusUpdateDispid() const = 0;
    virtual CTraceLog& Trace() = 0;

protected:
    ~IEventOwner() = default;
};

} // namespace vtx
