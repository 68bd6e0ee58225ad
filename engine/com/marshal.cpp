#include "engine/com/marshal.h"

#include <new>

namespace marigal::engine::com {

namespace {

BSTR NewBstr(const std::u16string& s)
{
    BSTR b = SysAllocStringLen(W(s), UINT(s.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

std::u16string FromBstr(BSTR b)
{
    if (!b) return {};  // a null BSTR is the empty string
    return {reinterpret_cast<const char16_t*>(b), SysStringLen(b)};
}

// `ref`: where a string passed by reference lives for the call.
void ToVariant(const Value& value, VARIANT& out, BSTR* ref)
{
    switch (value.kind()) {
    case Value::Kind::Empty: return;  // stays VT_EMPTY
    case Value::Kind::String:
        out.bstrVal = NewBstr(value.toString());
        out.vt = VT_BSTR;
        return;
    case Value::Kind::StringRef:
        *ref = NewBstr(value.toString());
        out.pbstrVal = ref;
        out.vt = VT_BSTR | VT_BYREF;
        return;
    case Value::Kind::Bool:
        out.boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        out.vt = VT_BOOL;
        return;
    case Value::Kind::Int16:
        out.iVal = SHORT(value.toInt());
        out.vt = VT_I2;
        return;
    case Value::Kind::Int32:
        out.lVal = LONG(value.toInt());
        out.vt = VT_I4;
        return;
    case Value::Kind::Single:
        out.fltVal = FLOAT(value.toDouble());
        out.vt = VT_R4;
        return;
    case Value::Kind::Object: {
        const auto* com = dynamic_cast<const ComDispatch*>(value.toDispatch().get());
        if (!com) throw EngineError(errtext::kTypeMismatch);  // an object of another backend
        out.pdispVal = com->get();
        out.pdispVal->AddRef();  // VariantClear releases it
        out.vt = VT_DISPATCH;
        return;
    }
    }
}

}  // namespace

CallArgs::CallArgs(const Args& args, const CallLayout& layout, const std::vector<DISPID>& ids)
    : vars_(layout.block.size()), namedIds_(layout.named)
{
    std::size_t byRef = 0;
    for (const Slot& s : layout.block) byRef += args[s.arg].value.kind() == Value::Kind::StringRef;
    refs_.assign(byRef, nullptr);
    for (VARIANT& v : vars_) VariantInit(&v);

    try {
        std::size_t ref = 0;
        for (std::size_t i = 0; i < layout.block.size(); ++i) {
            const Slot& s = layout.block[i];
            const Value& value = args[s.arg].value;
            ToVariant(value, vars_[i], value.kind() == Value::Kind::StringRef ? &refs_[ref++] : nullptr);
            if (value.isEmpty() && s.name == kPositional) {  // left out, in the place of a later one
                vars_[i].vt = VT_ERROR;
                vars_[i].scode = DISP_E_PARAMNOTFOUND;
            }
            if (i < layout.named) namedIds_[i] = s.name == kAssignedValue ? DISPID_PROPERTYPUT : ids[s.name];
        }
    } catch (...) {
        clear();
        throw;
    }

    params_.rgvarg = vars_.empty() ? nullptr : vars_.data();
    params_.rgdispidNamedArgs = namedIds_.empty() ? nullptr : namedIds_.data();
    params_.cArgs = UINT(vars_.size());
    params_.cNamedArgs = UINT(namedIds_.size());
}

void CallArgs::clear()
{
    for (VARIANT& v : vars_) VariantClear(&v);  // a by-reference string is not freed here...
    for (BSTR& b : refs_) {                     // ...but here
        SysFreeString(b);
        b = nullptr;
    }
}

Value FromVariant(const VARIANT& v, const std::shared_ptr<ComApartment>& apartment)
{
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL: return {};
    case VT_BSTR: return Value::string(FromBstr(v.bstrVal));
    case VT_BOOL: return Value::boolean(v.boolVal != VARIANT_FALSE);
    case VT_I2: return Value::int16(v.iVal);
    case VT_I4: return Value::int32(v.lVal);
    case VT_R4: return Value::single(v.fltVal);
    case VT_R8: return Value::single(float(v.dblVal));
    case VT_INT: return Value::int32(v.intVal);
    case VT_DISPATCH:
        if (!v.pdispVal) return {};  // Nothing
        return Value::object(std::make_shared<ComDispatch>(ComPtr<IDispatch>::share(v.pdispVal), apartment));
    default: break;
    }
    // Anything else (a measurement, a date, a byte...) as its text.
    OwnedVariant text;
    if (FAILED(VariantChangeType(&text.v, const_cast<VARIANT*>(&v), 0, VT_BSTR)))
        throw EngineError(errtext::kTypeMismatch);
    return Value::string(FromBstr(text.v.bstrVal));
}

}  // namespace marigal::engine::com
