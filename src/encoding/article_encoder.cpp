#include "encoding/article_encoder.h"

#include <string>

#include "util/short_string.h"

namespace quillpost {

void TmsArticleEncoder::WriteHeaders() {
    const TmsMailAddress& sender = article_.Sender();
    WriteLine("From:     " + sender.Name() + " <" + sender.Address() + ">");
    WriteLine("Newsgroups: " + article_.NewsGroups());
    RemoveReservedHeaders();
    for (const std::string& line : article_.Headers()) WriteLine(line);
    if (!article_.Subject().empty()) WriteLine(ShortString("Subject:  " + article_.Subject()));
    if (article_.Encoding() == meMIME) WriteLine("Mime-Version: 1.0");
}

}  // namespace quillpost
