// The imager service object's COM class ("VX.ImagerSO"): the scanner's 23
// methods and StartSession, StopSession. Its OpenService opens nothing (no
// callbacks, no registry, no device): the object answers as a closed
// service but for OpenResult, and keeps the image-scanner properties.
//
// Threads: one caller at a time (the apartment of its control).
#pragma once

#include "CCommonSO.h"

#include "platform/com.h"
#include "platform/dispatch.h"

#include <atomic>

// {8C769425-C751-4E6B-8FD9-1E9D73A055AC}
inline constexpr CLSID CLSID_ImagerSO{0x8C769425, 0xC751, 0x4E6B, {0x8F, 0xD9, 0x1E, 0x9D, 0x73, 0xA0, 0x55, 0xAC}};
// {1A969F5B-ED96-4D62-887D-D1DE8704BD47}
inline constexpr IID IID_IImagerSO{0x1A969F5B, 0xED96, 0x4D62, {0x88, 0x7D, 0xD1, 0xDE, 0x87, 0x04, 0xBD, 0x47}};

class CImagerSO final : public IDispatch {
public:
    static HRESULT Create(REFIID iid, void** object);
    static const platform::DispatchTable& Table();

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) override;

    // Sets ResultCode to `code` and answers it.
    long Answer(long code);
    long GetPropertyNumber(long index);
    long SetPropertyNumber(long index, long value);
    BSTR GetPropertyString(long index);

    CCommonSO m_common;
    long m_nOpenResult = 0;

private:
    CImagerSO();
    ~CImagerSO();
    CImagerSO(const CImagerSO&) = delete;
    CImagerSO& operator=(const CImagerSO&) = delete;

    std::atomic<ULONG> m_references{1};
    // 30001-30012 then 30501-30507.
    long m_image[12] = {};
    long m_caps[7] = {};
    std::string m_frameData;
};
