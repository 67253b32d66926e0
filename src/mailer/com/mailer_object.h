#pragma once
// The COM object of the Mailer class: a TMailer behind IMailer (dual, so also
// IDispatch) and ISupportErrorInfo, aggregatable. Both the virtual-table
// entries and IDispatch::Invoke run through one TMailerDispatcher, so scripts
// and compiled clients see the same members and the same failures.
#include <atomic>
#include <initializer_list>

#include "mailer/com/dispatcher.h"
#include "mailer/com/imailer.h"
#include "mailer/mailer.h"
#include "platform/com.h"

namespace quillpost::com {

class TMailerObject final : public IMailer, public ISupportErrorInfo {
public:
    // Creates an object and returns its IID interface (the object is gone
    // again when it lacks IID). Outer, when given, aggregates the object and
    // IID must then be IUnknown (CLASS_E_NOAGGREGATION otherwise). A failing
    // construction answers E_UNEXPECTED after the error box.
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

    // IMailer
    HRESULT STDMETHODCALLTYPE SendMail(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE ClearAttachments() override;
    HRESULT STDMETHODCALLTYPE AddAttachment(BSTR strAttach, VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE AddRecipient(BSTR strName, BSTR strAddress,
                                           VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE ClearRecipients() override;
    HRESULT STDMETHODCALLTYPE AddCC(BSTR strName, BSTR strAddress, VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE ClearCCs() override;
    HRESULT STDMETHODCALLTYPE AddBCC(BSTR strName, BSTR strAddress, VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE ClearBCCs() override;
    HRESULT STDMETHODCALLTYPE ClearAllRecipients() override;
    HRESULT STDMETHODCALLTYPE ClearBodyText() override;
    HRESULT STDMETHODCALLTYPE GetBodyTextFromFile(BSTR strInputFile, VARIANT_BOOL bolEraseInputFile,
                                                  VARIANT_BOOL bolShowWindow,
                                                  VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE ClearExtraHeaders() override;
    HRESULT STDMETHODCALLTYPE AddExtraHeader(BSTR strExtraHeader, VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE get_RemoteHost(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_RemoteHost(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_Subject(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_Subject(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_FromName(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_FromName(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_FromAddress(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_FromAddress(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_ReplyTo(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_ReplyTo(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_ContentType(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_ContentType(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE put_BodyText(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_SMTPLog(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_SMTPLog(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_Encoding(SHORT* Value) override;
    HRESULT STDMETHODCALLTYPE put_Encoding(SHORT Value) override;
    HRESULT STDMETHODCALLTYPE get_CharSet(SHORT* Value) override;
    HRESULT STDMETHODCALLTYPE put_CharSet(SHORT Value) override;
    HRESULT STDMETHODCALLTYPE get_Priority(SHORT* Value) override;
    HRESULT STDMETHODCALLTYPE put_Priority(SHORT Value) override;
    HRESULT STDMETHODCALLTYPE get_Response(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE get_Urgent(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_Urgent(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE get_PGPPath(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_PGPPath(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_PGPParams(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_PGPParams(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_TimeOut(SHORT* Value) override;
    HRESULT STDMETHODCALLTYPE put_TimeOut(SHORT Value) override;
    HRESULT STDMETHODCALLTYPE get_ConfirmRead(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_ConfirmRead(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_ReturnReceipt(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_ReturnReceipt(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_UseMSMailHeaders(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_UseMSMailHeaders(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_WordWrap(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_WordWrap(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE get_WordWrapLen(SHORT* Value) override;
    HRESULT STDMETHODCALLTYPE put_WordWrapLen(SHORT Value) override;
    HRESULT STDMETHODCALLTYPE MarkRegistry(LONG thdModel) override;
    HRESULT STDMETHODCALLTYPE get_DateTime(BSTR* Value) override;
    HRESULT STDMETHODCALLTYPE put_DateTime(BSTR Value) override;
    HRESULT STDMETHODCALLTYPE get_Live(VARIANT_BOOL* Value) override;
    HRESULT STDMETHODCALLTYPE put_Live(VARIANT_BOOL Value) override;
    HRESULT STDMETHODCALLTYPE put_PGPTimeOut(LONG Value) override;

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
    HRESULT Call(DispId dispId, TMemberKind kind, std::initializer_list<TVariant> args, SHORT* out);
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
// of IMailer.
void SetErrorRecord(const TErrorRecord& record);

}  // namespace quillpost::com
