#pragma once
// What the command line prints of text it did not write itself, and values
// it reads from outside its arguments.
#include <cstdio>
#include <string>
#include <string_view>

namespace quillpost::cli {

// Text with every control character shown as an escape ("\x1b", "\x0d";
// C1 controls as "\u009b"), so that a server's reply cannot move the cursor,
// erase a line or otherwise speak to the terminal. Other text, UTF-8
// included, is left as it is.
std::string VisibleText(std::string_view text);

// The value of "--Member-file FILE": the file's bytes (Input's for "-")
// without one trailing line end (LF or CR LF), as a one-line secret file or
// "echo" gives it. Raises std::runtime_error saying why it cannot be read.
std::string ValueFromFile(const std::string& file, std::FILE* input);

// The value of "--Member-env VARIABLE". Raises std::runtime_error when the
// variable is not set.
std::string ValueFromEnvironment(const std::string& variable);

}  // namespace quillpost::cli
