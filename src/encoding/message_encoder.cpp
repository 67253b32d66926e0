#include "encoding/message_encoder.h"

#include <string>

#include "base/utf8.h"
#include "encoding/header_words.h"
#include "util/short_string.h"

namespace quillpost {

void TmsMessageEncoder::WriteHeaders() {
    WriteLine(AddressLine("From:     ", mail_.Sender(), {}));
    WriteAddressList("To", mail_.Recipients());
    WriteAddressList("CC", mail_.CC());
    // The address is not cut to a short text: that would break it.
    if (mail_.ReturnReceipt()) WriteLine("Return-Receipt-To: <" + mail_.Sender().Address() + ">");
    if (mail_.Priority() == ptLow)
        WriteLine("X-Priority: 5");
    else if (mail_.Priority() == ptHigh)
        WriteLine("X-Priority: 1");
    RemoveReservedHeaders();
    for (const std::string& line : mail_.Headers()) WriteHeaderLine(line);
    // Folded into encoded words, a UTF-8 subject needs no cut to stay within
    // the line limits.
    if (mail_.CharSet() == csUTF8 && !IsAscii(mail_.Subject()))
        WriteLine(WriteHeaderWords("Subject:  ", mail_.Subject(), THeaderText::Text));
    else if (!mail_.Subject().empty())
        WriteHeaderLine(ShortString("Subject:  " + mail_.Subject()));
    if (mail_.Encoding() == meMIME) WriteLine("Mime-Version: 1.0");
}

}  // namespace quillpost
