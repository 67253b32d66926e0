#include "encoding/header_words.h"

#include <algorithm>

#include "base/ascii.h"
#include "encoding/base64.h"
#include "encoding/quoted_printable.h"
#include "util/errors.h"
#include "util/short_string.h"

namespace quillpost {

namespace {

struct EncodedWord {
    std::size_t end = 0;  // index just past the closing "?="
    std::string decoded;
};

// Parses the word that begins at Start ("=?"); false when it is not one.
bool ParseWord(const std::string& value, std::size_t start, EncodedWord& word) {
    const std::size_t charsetEnd = value.find('?', start + 2);
    if (charsetEnd == std::string::npos || charsetEnd + 2 >= value.size()) return false;
    // A charset is one token: a blank means this "=?" opens no word.
    for (std::size_t i = start + 2; i < charsetEnd; ++i)
        if (IsBlankOrControl(value[i])) return false;
    const char letter = value[charsetEnd + 1];
    if (value[charsetEnd + 2] != '?') return false;
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t close = value.find("?=", textStart);
    if (close == std::string::npos) return false;
    std::string text = value.substr(textStart, close - textStart);
    if (letter == 'B' || letter == 'b') {
        // A character outside the alphabet makes it no word: received header
        // text is kept as it came rather than failing the whole message.
        try {
            word.decoded = DecodeBase64(text, kShortStringMax);
        } catch (const EInOutError&) {
            return false;
        }
    } else if (letter == 'Q' || letter == 'q') {
        // The underscore stands for a space in Q text only; an escaped
        // underscore (=5F) stays one.
        std::replace(text.begin(), text.end(), '_', ' ');
        word.decoded = DecodeQPText(text, kShortStringMax);
    } else {
        word.decoded.clear();
    }
    word.end = close + 2;
    return true;
}

}  // namespace

void DecodeHeaderWords(std::string& value) {
    std::size_t from = 0;
    bool decodedAny = false;
    while (true) {
        const std::size_t start = value.find("=?", from);
        if (start == std::string::npos) break;
        EncodedWord word;
        if (!ParseWord(value, start, word)) {
            from = start + 2;
            continue;
        }
        // Blanks between two encoded words are not part of the text.
        std::size_t rest = word.end;
        while (rest < value.size() && IsBlankOrControl(value[rest])) ++rest;
        EncodedWord next;
        if (!(rest + 1 < value.size() && value.compare(rest, 2, "=?") == 0 &&
              ParseWord(value, rest, next)))
            rest = word.end;
        value = value.substr(0, start) + word.decoded + value.substr(rest);
        from = start + word.decoded.size();
        decodedAny = true;
    }
    if (decodedAny) {
        while (!value.empty() && IsBlankOrControl(value.back())) value.pop_back();
        if (value.size() > kShortStringMax) value.resize(kShortStringMax);
    }
}

}  // namespace quillpost
