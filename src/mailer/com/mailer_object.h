#pragma once
// The COM object of the Mailer class: a TMailer behind IMailer2 (and so
// IMailer; dual, so also IDispatch) and ISupportErrorInfo, aggregatable. Both the virtual-table
// entries and IDispatch::Invoke run through one TMailerDispatcher, so scripts
// and compiled clients see the same members and the same failures.
#include <atomic>
#include <initializer_list>

#include "mailer/com/dispatcher.h"
#include "mailer/com/imailer.h"
#include "mailer/mailer.h"
#include "platform/com.h"

namespace quillpost::com {

class TMailerObject final : public IMailer2, public ISupportErrorInfo {
public:
    // Creates an object and returns its IID interface (the object is gone
    // again when it lacks IID). Outer, when given, aggregates the object and
    // IID must then be IUnknown (CLASS_E_NOAGGREGATION otherwise). A failing
    // construction answers E_UNEXPECTED with the thread's error information
    // saying why, as a failing member does.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);

    // Only the last Release destroys an object.
    ~TMailerObject();
    TMailerObject(const TMailerObject&) = delete;
    TMailerObject& operator=(const TMailerObject&) = delete;

    // IUnknown: delegated to the outer object when aggregated.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // IMailer and IMailer2: one entry per row of mailer_members.def.
#define QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help) \
    QP_ENTRY_DECLARATION(Kind, Name, Type, Params, override)
#include "mailer/com/mailer_members.def"

private:
    explicit TMailerObject(IUnknown* outer);

    // The object's own IUnknown: the one an aggregating object holds.
    class TInner final : public IUnknown {
    public:
        explicit TInner(TMailerObject& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        TMailerObject& owner_;
    };

    // One virtual-table entry: runs the row and reports a failure as an
    // error record and its HRESULT.
    template <typename TNumber>  // SHORT, VARIANT_BOOL or LONG
    HRESULT Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                 TNumber* out);
    HRESULT Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args, BSTR* out);
    HRESULT Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                 std::nullptr_t);
    HRESULT Run(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args,
                TVariant& result);

    TInner inner_{*this};
    IUnknown* outer_;
    std::atomic<ULONG> refs_{1};
    TMailer mailer_;
    TMailerDispatcher dispatcher_{mailer_};
};

// Makes Record the calling thread's error information, as an error record
// of the interface that declares DispId's member.
void SetErrorRecord(const TErrorRecord& record, DispId dispId);

}  // namespace quillpost::com
