// What the caller roles of the end-to-end tests share: one EHLLAPI call with
// its four parameters by address, the little-endian fields of a data buffer,
// report lines (flushed at once, so that a test can follow a role that
// blocks) and the test's go-ahead on standard input.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "trvha64.h"

namespace trv::e2e {

struct Outcome {
    int32_t rc;
    int32_t length;
};

// `position` travels in the return-code word.
inline Outcome Run(int32_t function, void* data, int32_t length, int32_t position = 0) {
    int32_t fn = function;
    int32_t len = length;
    int32_t rc = position;
    hllapi(&fn, static_cast<char*>(data), &len, &rc);
    return {rc, len};
}

// The same call on the calling thread's own exchange block (hllapi_thread).
inline Outcome RunOnThread(int32_t function, void* data, int32_t length, int32_t position = 0) {
    int32_t fn = function;
    int32_t len = length;
    int32_t rc = position;
    hllapi_thread(&fn, static_cast<char*>(data), &len, &rc);
    return {rc, len};
}

// The text as the data string (with room after it), its length as the length.
inline Outcome RunWithText(int32_t function, const std::string& text, int32_t position = 0) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(HLLAPI_MAX_DATA, '\0');
    return Run(function, data.data(), static_cast<int32_t>(text.size()), position);
}

inline int32_t RunText(int32_t function, const std::string& text) { return RunWithText(function, text).rc; }

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

inline uint64_t ReadU64(const unsigned char* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

inline void WriteU64(unsigned char* bytes, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The event handle held at the address that an event-form start (Start Host
// Notification, Start Close Intercept) wrote into data bytes 8-15.
inline uint64_t HandleAt(const unsigned char* bytes) {
    uint64_t handle = 0;
    std::memcpy(&handle, reinterpret_cast<const void*>(ReadU64(bytes)), sizeof handle);
    return handle;
}

inline unsigned ReadU16(const unsigned char* bytes) { return bytes[0] | (bytes[1] << 8u); }

// What Get Key answered, as report words: the return code, the entry's kind
// (data byte 4) and the key (from byte 5, as long as the length says).
inline std::string KeyWords(const Outcome& got, const unsigned char* data) {
    const auto length = static_cast<std::size_t>(got.length > 0 ? got.length : 0);
    return std::to_string(got.rc) + " " + std::string(1, static_cast<char>(data[4])) + " " +
           std::string(reinterpret_cast<const char*>(data + 5), length);
}

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

// Reports a call's return code and length under `key`, and answers them.
inline Outcome SayOutcome(const std::string& key, const Outcome& outcome) {
    Say(key + " " + Num(outcome.rc) + " " + Num(outcome.length));
    return outcome;
}

inline void AwaitGo() {
    std::string line;
    std::getline(std::cin, line);
}

}  // namespace trv::e2e
