#pragma once
// The bar drawn on a terminal while a large message is sent: one line,
// redrawn in place when the whole percentage changes.
#include <cstdint>
#include <ostream>
#include <string>

namespace quillpost::cli {

class TProgressBar {
public:
    // Messages below this size go out too fast for a bar to be worth a line.
    static constexpr std::int64_t kMinimumTotal = 64 * 1024;
    static constexpr int kWidth = 30;

    explicit TProgressBar(std::ostream& out, std::int64_t minimumTotal = kMinimumTotal)
        : out_(out), minimumTotal_(minimumTotal) {}

    // Sent bytes of Total. A count that goes back (the retry through a second
    // host starts over) begins a new line.
    void Update(std::int64_t sent, std::int64_t total);
    // Ends the line of a bar left standing, so that what follows (an error
    // message) starts on a line of its own.
    void Finish();

    // "Sending [######      ]  20% 12.0 KiB of 60.0 KiB"
    static std::string Render(std::int64_t sent, std::int64_t total);
    // "512 B", "1.5 KiB", "2.0 MiB", "1.1 GiB"
    static std::string SizeText(std::int64_t bytes);

private:
    std::ostream& out_;
    std::int64_t minimumTotal_;
    bool showing_ = false;
    int percent_ = -1;
    std::int64_t sent_ = 0;
    std::size_t width_ = 0;
};

}  // namespace quillpost::cli
