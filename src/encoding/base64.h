#pragma once
// Base64 of the MIME transfer encoding: the short-text routines the message
// model and decoder call line by line, and a bulk path for attachments that
// writes whole 76-character lines from 57-byte chunks into caller buffers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillpost {

inline constexpr std::string_view Base64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr char kBase64Pad = '=';

// Value of every byte: 0..63 for the alphabet, kBase64PadValue for "=",
// kBase64Invalid for everything else.
inline constexpr std::uint8_t kBase64PadValue = 64;
inline constexpr std::uint8_t kBase64Invalid = 255;
inline constexpr std::array<std::uint8_t, 256> kBase64Values = [] {
    std::array<std::uint8_t, 256> table{};
    for (auto& v : table) v = kBase64Invalid;
    for (std::size_t i = 0; i < Base64Alphabet.size(); ++i)
        table[static_cast<unsigned char>(Base64Alphabet[i])] = static_cast<std::uint8_t>(i);
    table[static_cast<unsigned char>(kBase64Pad)] = kBase64PadValue;
    return table;
}();

// Bytes per encoded line, the characters they become, and the line break.
inline constexpr std::size_t kBase64LineBytes = 57;
inline constexpr std::size_t kBase64LineChars = 76;
inline constexpr std::string_view kBase64LineBreak = "\r\n";

// Exact length of the encoding of Count bytes (no line breaks).
constexpr std::size_t Base64EncodedSize(std::size_t count) { return (count + 2) / 3 * 4; }
// Upper bound of the bytes that Length characters decode to.
constexpr std::size_t Base64DecodedMaxSize(std::size_t length) { return length / 4 * 3 + 3; }

// Encodes Count bytes into Out (Base64EncodedSize(Count) characters, padded);
// returns the number of characters written.
std::size_t EncodeBase64Block(const void* bytes, std::size_t count, char* out);

// Decodes Text into Out, which must have room for
// Base64DecodedMaxSize(Text.size()) bytes (past the bytes returned it may
// hold scratch); returns the number of bytes written. Raises EInOutError "Invalid Character"
// for a byte outside the alphabet and "=", before anything is relied upon.
std::size_t DecodeBase64Block(std::string_view text, char* out);

// One chunk of bytes to its base64 text, cut to Maximum characters.
std::string EncodeBase64(std::string_view bytes, std::size_t maximum = 255);

// One line of base64 text to bytes, cut to Maximum bytes. Each "=" counts as
// zero bits and one byte is dropped for each "=" at the end; an unpadded
// final group gives exactly the bytes it encodes.
std::string DecodeBase64(std::string_view text, std::size_t maximum = 255);

// The value 0..63 of one character; "=" gives 0. Anything else raises
// EInOutError "Invalid Character".
int Base64Value(char c);

// Streaming line encoder with its carried state explicit: Step writes every
// whole line (76 characters and CR LF) that the carried bytes and the new
// input complete and keeps the rest (fewer than 57 bytes); Finish writes the
// last line and its CR LF. The last line is empty when the total length is a
// multiple of 57, an empty input included, as the attachment writer expects.
class Base64LineEncoder {
public:
    static constexpr std::size_t kLineSize = kBase64LineChars + kBase64LineBreak.size();
    // Worst-case output of Step for Count input bytes, whatever is carried.
    static constexpr std::size_t StepMaxOutput(std::size_t count) {
        return (count + kBase64LineBytes - 1) / kBase64LineBytes * kLineSize;
    }
    static constexpr std::size_t kFinishMaxOutput = kLineSize;
    // Worst-case output of a whole run over Count bytes.
    static constexpr std::size_t TotalMaxOutput(std::size_t count) {
        return (count / kBase64LineBytes + 1) * kLineSize;
    }

    std::size_t Step(const void* bytes, std::size_t count, char* out);
    // Writes the last line and resets the encoder for a new run.
    std::size_t Finish(char* out);
    std::size_t Carried() const { return carried_; }

private:
    std::array<unsigned char, kBase64LineBytes> pending_{};
    std::size_t carried_ = 0;
};

// The whole of Bytes as CR LF terminated base64 lines, the empty last line
// included (see Base64LineEncoder).
std::string EncodeBase64Lines(std::string_view bytes);

}  // namespace quillpost
