// The native caller processes of the end-to-end tests: roles of this test
// binary ("e2e_tests --role NAME ARGS..."), each an application that calls
// the exported entries of libtrvha64.so through the public headers. A role
// reports what it saw on standard output as lines "<key> <values...>" (byte
// strings in hexadecimal), flushed at once so that a test can follow a role
// that blocks; a role that needs the test's go-ahead reads a line from
// standard input. Each test file registers the roles it defines; the
// "script" role (caller_roles.cpp) runs steps a test writes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "trvha64.h"

namespace trv::e2e {

struct RoleEntry {
    const char* name;
    int (*role)(const std::vector<std::string>& args);
};

// Adds roles to those RunCallerRole knows. Called from a namespace-scope
// initialiser of each test file, so every role is known before main runs.
bool RegisterRoles(std::initializer_list<RoleEntry> roles);

// Runs the named role; its result is the process's exit code (2 for an
// unknown role).
int RunCallerRole(const std::string& name, const std::vector<std::string>& args);

struct Outcome {
    int32_t rc;
    int32_t length;
};

// One EHLLAPI call with its four parameters by address; `position` travels
// in the return-code word.
inline Outcome Run(int32_t function, void* data, int32_t length, int32_t position = 0) {
    int32_t fn = function;
    int32_t len = length;
    int32_t rc = position;
    hllapi(&fn, static_cast<char*>(data), &len, &rc);
    return {rc, len};
}

// The text as the data string (with room after it), its length as the
// length: the return code.
inline int32_t RunText(int32_t function, const std::string& text) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(HLLAPI_MAX_DATA, '\0');
    return Run(function, data.data(), static_cast<int32_t>(text.size())).rc;
}

// Bytes in lowercase hexadecimal, as roles report byte strings.
inline std::string Hex(const void* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<const unsigned char*>(bytes)[i];
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

inline std::string Hex(const std::string& bytes) { return Hex(bytes.data(), bytes.size()); }

inline unsigned ReadU16(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8u); }

// The words of a line, apart by blanks.
inline std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

inline void Say(const std::string& line) { std::cout << line << std::endl; }
inline std::string Num(long long value) { return std::to_string(value); }

}  // namespace trv::e2e
