// Automation: VARIANT, IDispatch and the DISP_E_ codes.
//
// VARIANT holds the types that callers here pass: VT_I2, VT_I4, VT_BOOL
// (VARIANT_TRUE -1, VARIANT_FALSE 0), VT_BSTR (NULs kept), VT_DISPATCH,
// VT_UNKNOWN, and VT_BYREF combined with VT_I2, VT_I4, VT_BOOL or VT_BSTR.
// VariantClear frees what a VARIANT owns (its BSTR, its interface
// reference); a VT_BYREF VARIANT owns nothing.
#pragma once

#include "platform/bstr.h"
#include "platform/com.h"

using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using DISPID = LONG;
using MEMBERID = DISPID;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_BYREF = 0x4000,
};

struct IDispatch;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        short iVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        short* piVal;
        LONG* plVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

struct DISPPARAMS {
    VARIANTARG* rgvarg;          // arguments, last one first
    DISPID* rgdispidNamedArgs;   // DISPID_PROPERTYPUT for a property's value
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// Type information is never offered here (GetTypeInfoCount answers 0).
struct ITypeInfo;

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argumentError) = 0;

protected:
    ~IDispatch() = default;
};

inline constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);

void VariantInit(VARIANT* variant);
// Frees what the VARIANT owns and leaves it VT_EMPTY; DISP_E_BADVARTYPE for
// a type this layer does not know (left as it was).
HRESULT VariantClear(VARIANT* variant);
// A deep copy (a new BSTR, one more interface reference) into a cleared
// `target`.
HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
// Converts to `type` (VT_I2, VT_I4, VT_BOOL, VT_BSTR, VT_DISPATCH, VT_UNKNOWN),
// reading through a VT_BYREF source: numbers convert among each other
// (VT_BOOL gives VARIANT_TRUE for any nonzero number; DISP_E_OVERFLOW when
// a number does not fit), a number gives its decimal text, a decimal text
// its number; anything else is DISP_E_TYPEMISMATCH. `target` may be
// `source`; it is cleared before the result is stored.
HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, WORD flags, VARTYPE type);
