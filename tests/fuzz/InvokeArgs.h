// One IDispatch::Invoke call as a hostile or careless caller makes it: any
// member id, any flags, any number of arguments of any type, by value or by
// reference (a reference may be null), named arguments that may not fit,
// and missing out-parameters. What a by-reference argument points at lives
// here until the call is over; whatever the callee left in it is freed.
#pragma once

#include "FuzzSupport.h"

#include "platform/bstr.h"
#include "platform/oleauto.h"

#include <array>
#include <deque>
#include <vector>

namespace vxfuzz {

class InvokeCall {
public:
    // `ids` are the member ids worth hitting; a byte picks one of them or
    // any id at all.
    InvokeCall(Input& in, const std::vector<DISPID>& ids)
    {
        const std::uint8_t pick = in.byte();
        m_id = pick < 0xF0 && !ids.empty() ? ids[pick % ids.size()] : static_cast<DISPID>(static_cast<std::int8_t>(in.byte()));
        static const WORD kFlags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                      DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0, 0xFFFF};
        m_flags = kFlags[in.byte() % std::size(kFlags)];
        const std::uint8_t shape = in.byte();
        const UINT count = shape % 8;
        m_args.resize(count);
        for (VARIANT& arg : m_args)
            fill(arg, in);
        m_params.rgvarg = count == 0 && (shape & 0x08) ? nullptr : m_args.data();
        m_params.cArgs = count;
        // Named arguments: none, the property-put one, or ids of any kind,
        // even more of them than there are arguments.
        const UINT named = (shape >> 4) % 4;
        for (UINT i = 0; i < named; ++i)
            m_named.push_back((shape & 0x40) ? DISPID_PROPERTYPUT : static_cast<DISPID>(in.byte()) - 2);
        m_params.cNamedArgs = std::min<UINT>(named, count + ((shape & 0x80) ? 1 : 0));
        m_params.rgdispidNamedArgs = m_named.empty() ? nullptr : m_named.data();
        if (m_params.cNamedArgs > m_named.size())
            m_params.cNamedArgs = static_cast<UINT>(m_named.size());
        m_outs = in.byte();
        VariantInit(&m_result);
    }
    ~InvokeCall()
    {
        VariantClear(&m_result);
        for (VARIANT& arg : m_args)
            if (arg.vt == VT_BSTR)
                SysFreeString(arg.bstrVal);
        for (BSTR& text : m_texts)
            SysFreeString(text);
        for (VARIANT& inner : m_variants)
            VariantClear(&inner);
        if (m_exception.bstrSource != nullptr)
            SysFreeString(m_exception.bstrSource);
        if (m_exception.bstrDescription != nullptr)
            SysFreeString(m_exception.bstrDescription);
        if (m_exception.bstrHelpFile != nullptr)
            SysFreeString(m_exception.bstrHelpFile);
    }
    InvokeCall(const InvokeCall&) = delete;
    InvokeCall& operator=(const InvokeCall&) = delete;

    HRESULT run(IDispatch* object)
    {
        UINT argumentError = 0;
        return object->Invoke(m_id, IID_NULL, LOCALE_SYSTEM_DEFAULT, m_flags, (m_outs & 1) ? nullptr : &m_params,
                              (m_outs & 2) ? nullptr : &m_result, (m_outs & 4) ? nullptr : &m_exception,
                              (m_outs & 8) ? nullptr : &argumentError);
    }

private:
    void fill(VARIANT& arg, Input& in)
    {
        VariantInit(&arg);
        const std::uint8_t kind = in.byte();
        const bool nullRef = (kind & 0x80) != 0;
        switch (kind % 16) {
        case 0: arg.vt = VT_EMPTY; break;
        case 1: arg.vt = VT_I4; arg.lVal = static_cast<LONG>(in.u32()); break;
        case 2: arg.vt = VT_I2; arg.iVal = static_cast<short>(in.u32()); break;
        case 3: arg.vt = VT_BOOL; arg.boolVal = (in.byte() & 1) ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(in.byte()); break;
        case 4: arg.vt = VT_BSTR; arg.bstrVal = newText(in); break;
        case 5: arg.vt = VT_BSTR; arg.bstrVal = nullptr; break;
        case 6: arg.vt = VT_DISPATCH; arg.pdispVal = nullptr; break;
        case 7:
            arg.vt = VT_I4 | VT_BYREF;
            m_longs.push_back(static_cast<LONG>(in.u32()));
            arg.plVal = nullRef ? nullptr : &m_longs.back();
            break;
        case 8:
            arg.vt = VT_BSTR | VT_BYREF;
            m_texts.push_back(newText(in));
            arg.pbstrVal = nullRef ? nullptr : &m_texts.back();
            break;
        case 9:
            arg.vt = VT_I2 | VT_BYREF;
            m_shorts.push_back(static_cast<short>(in.u32()));
            arg.piVal = nullRef ? nullptr : &m_shorts.back();
            break;
        case 10:
            arg.vt = VT_BOOL | VT_BYREF;
            m_bools.push_back(static_cast<VARIANT_BOOL>(in.u32()));
            arg.pboolVal = nullRef ? nullptr : &m_bools.back();
            break;
        case 11: {
            arg.vt = VT_VARIANT | VT_BYREF;
            m_variants.emplace_back();
            VARIANT& inner = m_variants.back();
            VariantInit(&inner);
            if (in.byte() & 1) {
                inner.vt = VT_I4;
                inner.lVal = static_cast<LONG>(in.u32());
            } else {
                inner.vt = VT_BSTR;
                inner.bstrVal = newText(in);
            }
            arg.pvarVal = nullRef ? nullptr : &inner;
            break;
        }
        case 12: arg.vt = VT_ERROR; arg.scode = static_cast<SCODE>(in.u32()); break;
        case 13: arg.vt = VT_NULL; break;
        case 14: arg.vt = VT_UNKNOWN; arg.punkVal = nullptr; break;
        default:
            // A type no member takes; its value must not be read as anything.
            arg.vt = static_cast<VARTYPE>(0x7F00 | in.byte());
            arg.byref = nullptr;
            break;
        }
    }
    static BSTR newText(Input& in)
    {
        const std::string bytes = in.text(300);
        return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(bytes.data()),
                                 static_cast<UINT>(bytes.size() / sizeof(OLECHAR)));
    }

    DISPID m_id = 0;
    WORD m_flags = DISPATCH_METHOD;
    std::vector<VARIANT> m_args;
    std::vector<DISPID> m_named;
    DISPPARAMS m_params{};
    VARIANT m_result{};
    EXCEPINFO m_exception{};
    std::uint8_t m_outs = 0;
    // By-reference targets; a deque keeps their addresses.
    std::deque<LONG> m_longs;
    std::deque<short> m_shorts;
    std::deque<VARIANT_BOOL> m_bools;
    std::deque<BSTR> m_texts;
    std::deque<VARIANT> m_variants;
};

}  // namespace vxfuzz
