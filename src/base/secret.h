#pragma once
// Memory that held a password, a token or an AUTH string is zeroed before it
// is given back: a freed block keeps its bytes, and a crash dump or a later
// allocation would show them.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace quillpost {

// Zeroes every byte Text owns (its whole capacity), then empties it. The
// writes go through a volatile pointer so the compiler cannot drop them as
// stores to memory about to die.
inline void SecureWipe(std::string& text) noexcept {
    text.resize(text.capacity());  // within capacity: no allocation
    volatile char* bytes = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
    text.clear();
}

// A string that wipes itself whenever it lets go of its bytes: when it is
// assigned, moved from or destroyed.
class TSecret {
public:
    TSecret() = default;
    explicit TSecret(std::string_view text) : text_(text) {}
    TSecret(const TSecret& other) : text_(other.text_) {}
    // Moves take the block itself: a copy could throw where nothing may.
    TSecret(TSecret&& other) noexcept : text_(std::move(other.text_)) { SecureWipe(other.text_); }
    TSecret& operator=(const TSecret& other) {
        if (this != &other) Assign(other.text_);
        return *this;
    }
    TSecret& operator=(TSecret&& other) noexcept {
        if (this != &other) {
            SecureWipe(text_);
            text_.swap(other.text_);
            SecureWipe(other.text_);
        }
        return *this;
    }
    TSecret& operator=(std::string_view text) {
        Assign(text);
        return *this;
    }
    ~TSecret() { SecureWipe(text_); }

    // A longer text may need a new block: the old one is zeroed first.
    void Assign(std::string_view text) {
        SecureWipe(text_);
        text_.assign(text);
    }
    // Appends without the temporaries that operator+ would leave behind;
    // Reserve first so no block is outgrown on the way.
    void Reserve(std::size_t size) {
        if (size <= text_.capacity()) return;
        std::string bigger;
        bigger.reserve(size);
        bigger.assign(text_);
        SecureWipe(text_);
        text_.swap(bigger);
    }
    void Append(std::string_view text) {
        Reserve(text_.size() + text.size());
        text_.append(text);
    }
    void Append(char c) { Append(std::string_view(&c, 1)); }

    const std::string& Text() const { return text_; }
    // For writing in place (an encoder's output); never to be copied out.
    std::string& Buffer() { return text_; }
    bool Empty() const { return text_.empty(); }
    bool operator==(const TSecret& other) const { return text_ == other.text_; }

private:
    std::string text_;
};

}  // namespace quillpost
