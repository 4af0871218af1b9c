#pragma once
// An IDispatch that records each Invoke (identifier, flags, arguments as
// "type:value", named arguments) and answers from a table; a member can be
// made to fail as a plain HRESULT or as a raised exception.
#include "DispatchFake.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vtx::setup::test {

struct Invocation {
    DISPID id;
    WORD flags;
    std::vector<std::wstring> args; // call order
    std::vector<DISPID> named;
    bool wantsResult;
    bool operator==(const Invocation&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Invocation& i);

class RecordingDispatch final : public vtx::test::DispatchFake {
public:
    static constexpr DISPID kClaimId = 1234;

    RecordingDispatch();
    ~RecordingDispatch();

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT*) override;

    // What Invoke of this member returns (copied into the result).
    void Answer(DISPID id, const VARIANT& value);
    void Fail(DISPID id, HRESULT hr) { m_failures[id] = hr; }
    void Raise(DISPID id, HRESULT scode, const wchar_t* description);
    bool claimMissing = false;

    std::vector<Invocation> invocations;
    std::vector<std::wstring> lookups;
    using DispatchFake::Refs;

private:
    std::map<DISPID, VARIANT> m_answers;
    std::map<DISPID, HRESULT> m_failures;
    std::map<DISPID, std::pair<HRESULT, std::wstring>> m_raises;
};

} // namespace vtx::setup::test
