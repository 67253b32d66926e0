#pragma once
// The dual interface IMailer as compiled clients call it: the IUnknown and
// IDispatch entries, then one entry per member-table row in the same order
// (a property's get before its put). Every entry returns an HRESULT; the
// last pointer argument, where present, receives the result.
#include "platform/com.h"

namespace quillpost::com {

struct IMailer : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SendMail(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearAttachments() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAttachment(BSTR strAttach, VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddRecipient(BSTR strName, BSTR strAddress,
                                                   VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearRecipients() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddCC(BSTR strName, BSTR strAddress, VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearCCs() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddBCC(BSTR strName, BSTR strAddress,
                                             VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearBCCs() = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearAllRecipients() = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearBodyText() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBodyTextFromFile(BSTR strInputFile,
                                                          VARIANT_BOOL bolEraseInputFile,
                                                          VARIANT_BOOL bolShowWindow,
                                                          VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearExtraHeaders() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddExtraHeader(BSTR strExtraHeader, VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RemoteHost(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_RemoteHost(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Subject(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Subject(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FromName(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FromName(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FromAddress(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FromAddress(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ReplyTo(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ReplyTo(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ContentType(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ContentType(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BodyText(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SMTPLog(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SMTPLog(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Encoding(SHORT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Encoding(SHORT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CharSet(SHORT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_CharSet(SHORT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Priority(SHORT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Priority(SHORT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Response(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Urgent(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Urgent(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Version(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PGPPath(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PGPPath(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PGPParams(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PGPParams(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TimeOut(SHORT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TimeOut(SHORT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConfirmRead(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ConfirmRead(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ReturnReceipt(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ReturnReceipt(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UseMSMailHeaders(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UseMSMailHeaders(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WordWrap(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WordWrap(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WordWrapLen(SHORT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WordWrapLen(SHORT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE MarkRegistry(LONG thdModel) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DateTime(BSTR* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DateTime(BSTR Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Live(VARIANT_BOOL* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Live(VARIANT_BOOL Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PGPTimeOut(LONG Value) = 0;

protected:
    ~IMailer() = default;
};

}  // namespace quillpost::com
