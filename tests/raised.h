#pragma once
// What an operation raised, as "family: text", or Nothing when it raised
// nothing; a class outside these families passes through to the test.
#include <string>

#include "util/errors.h"

namespace quillpost::testing {

template <typename F>
std::string Raised(F f, std::string nothing = "(nothing raised)") {
    try {
        f();
    } catch (const ETimedOutError& e) {
        return std::string("timeout: ") + e.what();
    } catch (const ECanceledError& e) {
        return std::string("canceled: ") + e.what();
    } catch (const ESocketError& e) {
        return std::string("socket: ") + e.what();
    } catch (const EWinsockDLLError& e) {
        return std::string("dll: ") + e.what();
    } catch (const EMessageError& e) {
        return std::string("message: ") + e.what();
    } catch (const ERangeError& e) {
        return std::string("range: ") + e.what();
    }
    return nothing;
}

}  // namespace quillpost::testing
