#pragma once
// The mail message: the shared fields plus the To, CC and BCC parties, the
// priority and the return-receipt request.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "message/address_list.h"
#include "message/custom_message.h"

namespace quillpost {

class TDkimSigner;

enum TPriority : std::uint8_t { ptLow = 0, ptNormal = 1, ptHigh = 2 };

inline constexpr const char* kPriorityNames[] = {"ptLow", "ptNormal", "ptHigh"};

class TmsMessage : public TmsCustomMessage {
public:
    explicit TmsMessage(TComponent* owner = nullptr) : TmsCustomMessage(owner) {}

    const char* ClassName() const override { return "TmsMessage"; }

    TmsAddressList& Recipients() { return recipients_; }
    const TmsAddressList& Recipients() const { return recipients_; }
    void SetRecipients(const TmsAddressList& value) { recipients_.Assign(value); }

    bool ReturnReceipt() const { return returnReceipt_; }
    void SetReturnReceipt(bool value) { returnReceipt_ = value; }

    TPriority Priority() const { return priority_; }
    void SetPriority(TPriority value) { priority_ = value; }

    TmsAddressList& CC() { return cc_; }
    const TmsAddressList& CC() const { return cc_; }
    void SetCC(const TmsAddressList& value) { cc_.Assign(value); }

    TmsAddressList& BCC() { return bcc_; }
    const TmsAddressList& BCC() const { return bcc_; }
    void SetBCC(const TmsAddressList& value) { bcc_.Assign(value); }

    // From a mail message: everything; from a news article: the shared part.
    void Assign(const TPersistent& source) override;
    // Also needs one party with a non-empty address.
    void Validate() const override;
    // With a Signer, LeadingLines then hold its signature over the text.
    void EncodeToStream(TStream& stream) override;
    void DecodeFromStream(TStream& stream) override;
    // Priority and ReturnReceipt keep their values.
    void Clear() override;

    // Signs the composed text when set; not copied by Assign.
    std::shared_ptr<const TDkimSigner> Signer;

    void WriteProperties(ComponentWriter& writer, const std::string& prefix) const override;
    bool ReadProperty(ComponentReader& reader, std::string_view name) override;

protected:
    TPersistent* OwnedNamed(std::string_view head) override;

private:
    TmsAddressList recipients_;
    TmsAddressList cc_;
    TmsAddressList bcc_;
    TPriority priority_ = ptNormal;
    bool returnReceipt_ = false;
};

}  // namespace quillpost
