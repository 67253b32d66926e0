#pragma once
// A base for objects with an identity (a Mailer, a stream, a persistent
// object): they are handed around by reference and never copied, so a copy
// is a compile error rather than a second object that silently diverges.
namespace quillpost {

class TNonCopyable {
public:
    TNonCopyable(const TNonCopyable&) = delete;
    TNonCopyable& operator=(const TNonCopyable&) = delete;

protected:
    TNonCopyable() = default;
    ~TNonCopyable() = default;
};

}  // namespace quillpost
