// The library's version, level and build date (MMDDYY) as the EHLLAPI side
// shows them: in Query System's reply and in the version text the emulator
// side reports ("<version>.<level> MMDDYY"). The date comes from the compiler's __DATE__
// ("Mmm dd yyyy", the day blank-padded).
#pragma once

#include <cstring>

namespace trv {

constexpr char kLibraryVersion[] = "1";
constexpr char kLibraryLevel[] = "19";
constexpr std::size_t kBuildDateSize = 6;  // MMDDYY

// The date this file was compiled, as __DATE__ gives it.
inline const char* BuildDate() { return __DATE__; }

// Writes `buildDate` ("Apr  1 2025"; null or short: "??? ?? ????") as MMDDYY
// into `out`: the month number from its name ("0?" for a name not known), the
// day with a leading 0 in place of a blank, the last two digits of the year.
inline void FormatBuildDate(const char* buildDate, char (&out)[kBuildDateSize]) {
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char date[12] = "??? ?? ????";
    for (std::size_t i = 0; buildDate != nullptr && i < sizeof date - 1 && buildDate[i] != '\0'; ++i) {
        date[i] = buildDate[i];
    }
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (std::strncmp(date, kMonths[i], 3) == 0) month = i + 1;
    }
    out[0] = month == 0 ? '0' : static_cast<char>('0' + month / 10);
    out[1] = month == 0 ? '?' : static_cast<char>('0' + month % 10);
    out[2] = date[4] == ' ' ? '0' : date[4];
    out[3] = date[5];
    out[4] = date[9];
    out[5] = date[10];
}

}  // namespace trv
