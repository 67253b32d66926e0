#include "decoding/message_decoder.h"

#include <memory>

#include "message/article.h"
#include "message/message.h"
#include "util/errors.h"

namespace quillpost {
namespace {

template <typename T>
T& MessageAs(TmsCustomMessage* message) {
    auto* typed = dynamic_cast<T*>(message);
    if (typed == nullptr) throw EConvertError("Invalid class typecast");
    return *typed;
}

void AddParties(const TmsHeaders& headers, std::string_view name, TmsAddressList& list) {
    StringVector items;
    GetHeaderValues(headers, name, items);
    for (const std::string& item : items) {
        auto address = std::make_unique<TmsMailAddress>();
        SplitAddress(item, *address);
        list.Add(std::move(address));
    }
}

void FillSubject(const TmsHeaders& headers, TmsCustomMessage& message) {
    const std::string subject = GetHeaderValue(headers, "Subject");
    if (!subject.empty()) message.SetSubject(subject);
}

}  // namespace

void TmsMessageDecoder::FillFields() {
    auto& message = MessageAs<TmsMessage>(Message);
    SplitAddress(GetHeaderValue(MessageHeaders, "FROM"), message.Sender());
    AddParties(MessageHeaders, "TO", message.Recipients());
    AddParties(MessageHeaders, "CC", message.CC());
    FillSubject(MessageHeaders, message);
    const std::string priority = GetHeaderValue(MessageHeaders, "X-Priority");
    message.SetPriority(priority == "1" ? ptHigh : priority == "5" ? ptLow : ptNormal);
    if (!GetHeaderValue(MessageHeaders, "Return-receipt-to").empty())
        message.SetReturnReceipt(true);
    message.SetHeaders(MessageHeaders);
}

void TmsArticleDecoder::FillFields() {
    auto& article = MessageAs<TmsArticle>(Message);
    SplitAddress(GetHeaderValue(MessageHeaders, "FROM"), article.Sender());
    article.SetPath(GetHeaderValue(MessageHeaders, "PATH"));
    article.SetNewsGroups(GetHeaderValue(MessageHeaders, "NEWSGROUPS"));
    article.SetMessageId(GetHeaderValue(MessageHeaders, "MESSAGE-ID"));
    FillSubject(MessageHeaders, article);
    article.SetHeaders(MessageHeaders);
}

}  // namespace quillpost
