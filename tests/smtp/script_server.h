#pragma once
// A scripted SMTP peer on 127.0.0.1 for the dialogue tests. It answers each
// command with a default reply unless the test's script overrides it for that
// command's n-th occurrence; an override can also pause, stall or hang up.
// Its verdict is the transcript of commands plus the exact bytes after DATA.
// Every wait in it is bounded.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/loopback_peer.h"

namespace quillpost::testing {

class ScriptServer : public LoopbackPeer {
public:
    // Reply texts are sent as they are (line ends included). Inside one, the
    // byte kPause waits 300 ms and notes in the transcript whether a command
    // arrived meanwhile; the whole texts kStall, kClose and kReset stop
    // answering (connection held until the test ends), hang up, or hang up
    // with a reset.
    static constexpr char kPause = '\x01';
    static inline const std::string kStall = "<stall>";
    static inline const std::string kClose = "<close>";
    static inline const std::string kReset = "<reset>";

    // Overrides, by command word ("greeting", "HELO", "MAIL", "RCPT", "DATA",
    // "." for the end of data, "QUIT"), for their first, second... use.
    std::map<std::string, std::vector<std::string>> replies;
    // Bytes per second at which the message text is read; 0: as it comes.
    std::size_t readRate = 0;
    // Commands that arrived in one piece (pipelined) share a transcript
    // entry, joined by " + ".
    bool grouped = false;

    ScriptServer() = default;
    // Before the members the serving thread uses are gone.
    ~ScriptServer() { Join(); }

    // Serves up to Connections sessions, one after the other.
    void Start(int connections = 1) {
        Run([this, connections](LoopbackPeer&) {
            for (int i = 0; i < connections && !stop_; ++i) Serve();
        });
    }

    // Commands as received (without CR LF); "<data>" stands for the message
    // text, "<early>" for a command that came before a reply was complete,
    // "<closed>" for the client hanging up.
    std::vector<std::string> Transcript() {
        Join();
        return transcript_;
    }
    // Everything after the DATA command's line through the final ". CR LF".
    std::string Data() {
        Join();
        return data_;
    }
    // The message as a server stores it: the DATA text without its end and
    // doubled periods, or the BDAT chunks joined.
    std::string Stored() {
        Join();
        if (data_.empty()) return chunks_;
        std::string stored;
        const std::string text = data_.substr(0, data_.size() - 3);  // ". CR LF"
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = text.find("\r\n", at);
            end = end == std::string::npos ? text.size() : end + 2;
            stored += text.substr(text[at] == '.' ? at + 1 : at, end - at - (text[at] == '.'));
            at = end;
        }
        return stored;
    }

private:
    static std::string Word(const std::string& line) {
        std::string w = line.substr(0, std::min(line.find(' '), line.find(':')));
        for (char& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return w;
    }

    std::string DefaultReply(const std::string& word) {
        if (word == "greeting") return "220 script ready\r\n";
        if (word == "DATA") return "354 go ahead\r\n";
        if (word == "QUIT") return "221 bye\r\n";
        if (word == ".") return "250 queued\r\n";
        return "250 ok\r\n";
    }

    // False: stop serving this connection.
    bool Answer(const std::string& word) {
        std::string reply = DefaultReply(word);
        auto it = replies.find(word);
        std::size_t n = uses_[word]++;
        if (it != replies.end() && n < it->second.size()) reply = it->second[n];
        lastReply_ = reply;
        // Pieces between pauses; a piece that is kClose or kStall ends the
        // answering.
        std::size_t start = 0;
        for (;;) {
            std::size_t p = reply.find(kPause, start);
            std::string piece = reply.substr(start, p == std::string::npos ? p : p - start);
            if (piece == kClose || piece == kReset) {
                if (piece == kReset) listener_.ResetConnection();
                listener_.CloseConnection();
                return false;
            }
            if (piece == kStall) {
                // Hold the line open until the client gives up or the test ends.
                for (int waited = 0; waited < 8000 && !stop_; waited += 50) {
                    bool closed = false;
                    listener_.Receive(50, &closed);
                    if (closed) {
                        transcript_.push_back("<closed>");
                        break;
                    }
                }
                listener_.CloseConnection();
                return false;
            }
            listener_.Send(piece);
            if (p == std::string::npos) break;
            std::string early = listener_.Receive(300);
            if (!early.empty()) {
                transcript_.push_back("<early>");
                pending_ += early;
            }
            start = p + 1;
        }
        return true;
    }

    // The next line of input without CR LF; false on close or after 10 s.
    bool NextLine(std::string& line) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        buffered_ = true;
        for (;;) {
            auto lf = pending_.find("\r\n");
            if (lf != std::string::npos) {
                line = pending_.substr(0, lf);
                pending_.erase(0, lf + 2);
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            bool closed = false;
            pending_ += listener_.Receive(100, &closed);
            buffered_ = false;
            if (closed) return false;
        }
    }

    // The Count bytes of a BDAT chunk.
    bool ReadChunk(std::size_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pending_.size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            bool closed = false;
            pending_ += listener_.Receive(100, &closed);
            if (closed) return false;
        }
        chunks_ += pending_.substr(0, count);
        pending_.erase(0, count);
        return true;
    }

    bool ReadData() {
        const std::string end = "\r\n.\r\n";
        const auto started = std::chrono::steady_clock::now();
        auto deadline = started + std::chrono::seconds(20);
        for (;;) {
            if (readRate != 0)
                std::this_thread::sleep_until(
                    started +
                    std::chrono::microseconds(std::uint64_t{pending_.size()} * 1000000 / readRate));
            auto at = pending_.find(end);
            if (at != std::string::npos) {
                data_ = pending_.substr(0, at + end.size());
                pending_.erase(0, at + end.size());
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            bool closed = false;
            pending_ += listener_.Receive(100, &closed);
            if (closed) return false;
        }
    }

    void Serve() {
        if (!Accept()) return;
        pending_.clear();
        if (!Answer("greeting")) return;
        std::string line;
        for (;;) {
            if (!NextLine(line)) {
                transcript_.push_back("<closed>");
                break;
            }
            if (grouped && buffered_ && !transcript_.empty()) {
                transcript_.back() += " + " + line;
            } else {
                transcript_.push_back(line);
            }
            std::string word = Word(line);
            if (word == "BDAT" && !ReadChunk(std::strtoul(line.c_str() + 5, nullptr, 10))) {
                transcript_.push_back("<closed>");
                break;
            }
            if (!Answer(word)) break;
            // Only an accepted DATA starts the message text.
            if (word == "DATA" && lastReply_.rfind("354", 0) == 0) {
                if (!ReadData()) {
                    transcript_.push_back("<closed>");
                    break;
                }
                transcript_.push_back("<data>");
                if (!Answer(".")) break;
            }
            if (word == "QUIT") {
                NextLine(line);  // waits for the client to hang up
                listener_.CloseConnection();
                break;
            }
        }
        listener_.CloseConnection();
    }

    std::map<std::string, std::size_t> uses_;
    std::vector<std::string> transcript_;
    std::string pending_;
    std::string data_;
    std::string chunks_;
    std::string lastReply_;
    bool buffered_ = false;  // the last line read had come with the one before
};

}  // namespace quillpost::testing
