// The UTLAPI session functions: binding a client to a session, starting,
// stopping and switching sessions through QMXAPI, listing the configured and
// the running sessions, the session queries and the per-client parameters.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/configured_sessions.h"
#include "platform/session_chooser.h"
#include "shared/message_boxes.h"
#include "trvha64_qmxapi.h"
#include "utlapi/session_parameters.h"
#include "utlapi/utlapi_frame.h"

namespace {

using namespace trv::utl;

constexpr std::size_t kQuerySystemSize = 35;
constexpr std::int32_t kListSessionsMinimum = 11;
constexpr std::uint32_t kRunningBits = 3;       // the two lowest status bits
constexpr std::uint32_t kRunningListed = 1;     // states 2, 3, 5, 6
constexpr std::uint32_t kRunningConnected = 3;  // states 12, 15 and the dialog
constexpr std::uint16_t kStopOption = 1;

char UpperLetter(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

trv::platform::ConfiguredSessions GetConfiguredSessions() {
    if (TraceOn()) UTLTrace({"getConfiguredSessions Enter"});
    trv::platform::ConfiguredSessions sessions = trv::platform::ReadConfiguredSessions();
    if (TraceOn()) UTLTrace({"getConfiguredSessions Exit\r\nRet Code=", Decimal(sessions.opened ? 1 : 0)});
    return sessions;
}

std::string GetSessionLongName(char letter) {
    if (TraceOn()) UTLTrace({"getSessionLongName Enter"});
    char profile[QMX_PROFILE_SIZE + 1] = {};
    std::string name;
    if (trvQueryWorkstationProfile(letter, profile) != 0) name = SessionLongNameOf(profile);
    if (TraceOn()) UTLTrace({"getSessionLongName Exit\r\nRet Code=", Decimal(static_cast<std::int64_t>(name.size()))});
    return name;
}

std::vector<trvQMXSessionEntry> RunningSessions() {
    const std::uint32_t n = trvQuerySessionList(0, nullptr);
    if (n == 0) return {};
    std::vector<trvQMXSessionEntry> entries(std::min<std::uint32_t>(n, QMX_MAX_SESSIONS));
    const std::uint32_t got = trvQuerySessionList(static_cast<std::uint32_t>(entries.size()), entries.data());
    entries.resize(std::min<std::size_t>(entries.size(), got));
    return entries;
}

// The listing of UTLGetSessions: items appended while they fit whole.
class Listing {
public:
    Listing(char* buffer, std::int32_t length) : buffer_(buffer), length_(static_cast<std::size_t>(length)) {}
    void Append(char letter, const std::string& text) {
        if (full_) return;
        std::string item(1, letter);
        item += " " + text + ", ";
        const std::size_t left = length_ - 1 - used_;
        const std::size_t n = std::min(left, item.size());
        std::memcpy(buffer_ + used_, item.data(), n);
        used_ += n;
        if (n < item.size()) full_ = true;
    }
    // Removes the final blank; the result is the remaining length minus 1,
    // 0 when nothing was listed.
    std::int32_t Finish() {
        if (used_ == 0) return 0;
        buffer_[--used_] = 0;
        return static_cast<std::int32_t>(used_) - 1;
    }

private:
    char* buffer_;
    std::size_t length_;
    std::size_t used_ = 0;
    bool full_ = false;
};

// Each step of the "Choose a Session" dialog is traced as ListSessionsProc.
void TraceListSessionsStep(bool entering, std::intptr_t answer) {
    if (!TraceOn()) return;
    if (entering) {
        UTLTrace({"ListSessionsProc Enter"});
    } else {
        UTLTrace({"ListSessionsProc Exit\r\nRet Code=", Decimal(answer)});
    }
}

std::int32_t QMXAnswer(std::uint32_t answer) {
    return answer != 0 ? static_cast<std::int32_t>(answer) : UTL_SESSION_REFUSED;
}

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLDisconnectSession(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLDisconnectSession", client);
        UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr || !record->Bound()) return TraceExit("UTLDisconnectSession", UTL_NOT_REGISTERED);
        std::int32_t result = UTL_NOT_REGISTERED;
        if (record->connected != 0) {
            char none[4] = {};
            result = Converted(CallEHLLAPI(HA_DISCONNECT_PS, none, 0, 0, nullptr));
            if (result == UTL_SUCCESS) record->connected = 0;
        }
        std::memset(record->session, 0, sizeof record->session);
        return TraceExit("UTLDisconnectSession", result);
    });
}

std::int32_t TRVHA64_CALL UTLConnectSession(trvUTLClient client, const char* session) {
    return Guarded([&] {
        TraceEnter("UTLConnectSession", client, "\r\nSession=", Text(session));
        UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr) return TraceExit("UTLConnectSession", UTL_NOT_REGISTERED);
        if (session == nullptr) return TraceExit("UTLConnectSession", UTL_INVALID_PARAMETER);
        if (record->Bound()) UTLDisconnectSession(client);
        std::memset(record->session, 0, sizeof record->session);
        for (std::size_t i = 0; i + 1 < kSessionFieldSize && session[i] != 0; ++i) {
            record->session[i] = UpperLetter(session[i]);
        }
        return TraceExit("UTLConnectSession", UTLConnectPS(client, record));
    });
}

std::int32_t TRVHA64_CALL UTLResetSystem(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLResetSystem", client);
        UTLDisconnectSession(client);
        char none[4] = {};
        return TraceExit("UTLResetSystem", Converted(CallEHLLAPI(HA_RESET_SYSTEM, none, 0, 0, nullptr)));
    });
}

std::int32_t TRVHA64_CALL UTLSessionOn(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLSessionOn", client);
        const UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLSessionOn", UTL_NO_RECORD);
        return TraceExit("UTLSessionOn", QMXAnswer(trvConnectSession(record->Letter())));
    });
}

std::int32_t TRVHA64_CALL UTLSessionOff(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLSessionOff", client);
        const UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLSessionOff", UTL_NO_RECORD);
        return TraceExit("UTLSessionOff", QMXAnswer(trvDisconnectSession(record->Letter())));
    });
}

std::int32_t TRVHA64_CALL UTLStopSession(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLStopSession", client);
        const UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLStopSession", UTL_NO_RECORD);
        const std::uint32_t answer = trvStopSession(record->Letter(), kStopOption);
        return TraceExit("UTLStopSession", (answer & 0xFFFF) != 0 ? static_cast<std::int32_t>(answer)
                                                                    : UTL_SESSION_REFUSED);
    });
}

std::int32_t TRVHA64_CALL UTLStartSession(trvUTLClient client, const char* session, const char* show) {
    return Guarded([&] {
        TraceEnter("UTLStartSession", client, "\r\nSession=", Text(session), "\r\nShow=", Text(show));
        const trv::platform::ConfiguredSessions configured = GetConfiguredSessions();
        if (!configured.opened) return TraceExit("UTLStartSession", UTL_SYSTEM_ERROR);
        if (session == nullptr || !IsLetter(session[0])) return TraceExit("UTLStartSession", UTL_SESSION_REFUSED);
        const char letter = UpperLetter(session[0]);
        const std::string& profile = configured.profiles[static_cast<std::size_t>(letter - 'A')];
        if (profile.empty()) return TraceExit("UTLStartSession", UTL_SESSION_REFUSED);
        std::uint16_t mode = 1;
        const std::string how = Text(show);
        if (how == "H") mode = 0;
        else if (how == "I") mode = 2;
        else if (how == "M") mode = 3;
        const std::uint32_t answer = trvStartSession(profile.c_str(), letter, mode);
        std::int32_t result = static_cast<std::int32_t>(answer);
        switch (answer) {
            case 0: case 2: result = UTL_SUCCESS; break;
            case 1: result = UTL_NO_SUCH_SESSION; break;
            case 3: result = UTL_SESSION_REFUSED; break;
            case QMX_SYSTEM_ERROR: result = UTL_SYSTEM_ERROR; break;
            default: break;
        }
        return TraceExit("UTLStartSession", result);
    });
}

std::int32_t TRVHA64_CALL UTLGetSessionStatus(trvUTLClient client, const char* session, std::int32_t statusType) {
    return Guarded([&] {
        TraceEnter("UTLGetSessionStatus", client, "\r\nSession=", Text(session), "\r\nStatus=", Decimal(statusType));
        const bool knownType = (statusType >= 0 && statusType <= 3) || (statusType >= 14 && statusType <= 16);
        if (session == nullptr || !knownType) return TraceExit("UTLGetSessionStatus", UTL_INVALID_PARAMETER);
        if (!IsLetter(session[0])) return TraceExit("UTLGetSessionStatus", UTL_NO_SUCH_SESSION);
        const char letter = UpperLetter(session[0]);
        if (statusType == 1 || statusType == 2) {
            const trv::platform::ConfiguredSessions configured = GetConfiguredSessions();
            return TraceExit("UTLGetSessionStatus",
                             configured.profiles[static_cast<std::size_t>(letter - 'A')].empty() ? 0 : 1);
        }
        const std::uint32_t status = trvQueryEmulatorStatus(letter);
        std::int32_t result = static_cast<std::int32_t>(status);
        if (statusType == 3) result = (status & 1u) != 0 ? 1 : 0;
        if (statusType == 14) result = (status & 2u) != 0 ? 1 : 0;
        if (statusType == 15) result = (status & 4u) != 0 ? 1 : 0;
        return TraceExit("UTLGetSessionStatus", result);
    });
}

std::int32_t TRVHA64_CALL UTLGetSessionSize(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLGetSessionSize", client);
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLGetSessionSize", UTL_NOT_REGISTERED);
        UTLConnectPS(client, record);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLGetSessionSize", shape.result);
        return TraceExit("UTLGetSessionSize", shape.rows * shape.columns);
    });
}

std::int32_t TRVHA64_CALL UTLGetEmulatorVersion(trvUTLClient client, char* buffer, std::int32_t length) {
    return Guarded([&] {
        TraceEnter("UTLGetEmulatorVersion", client, "\r\nBuffer Length=", Decimal(length));
        // Four characters are written, so a shorter buffer is refused.
        if (buffer == nullptr || length < 4) return TraceExit("UTLGetEmulatorVersion", UTL_INVALID_PARAMETER);
        char reply[kQuerySystemSize + 1] = {};
        const std::int32_t result =
            Converted(CallEHLLAPI(HA_QUERY_SYSTEM, reply, static_cast<std::uint16_t>(kQuerySystemSize), 0, nullptr));
        if (result != UTL_SUCCESS) return TraceExit("UTLGetEmulatorVersion", result);
        buffer[0] = reply[0];
        buffer[1] = '.';
        buffer[2] = reply[1];
        buffer[3] = reply[2];
        return TraceExit("UTLGetEmulatorVersion", 4);
    });
}

std::int32_t TRVHA64_CALL UTLGetConfiguration(trvUTLClient client, char* buffer, std::int32_t length) {
    return Guarded([&] {
        if (buffer != nullptr && length > 0) std::memset(buffer, 0, static_cast<std::size_t>(length));
        if (TraceOn()) UTLTrace({"UTLGetConfiguration Enter"});
        const UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr || buffer == nullptr || length < QMX_PROFILE_SIZE) return UTL_INVALID_PARAMETER;
        return trvQueryWorkstationProfile(record->Letter(), buffer) != 0 ? 1 : 3;
    });
}

std::int32_t TRVHA64_CALL UTLGetSessions(trvUTLClient client, char* buffer, std::int32_t length, std::int32_t state) {
    return Guarded([&] {
        TraceEnter("UTLGetSessions", client, "\r\nBuffer Length=", Decimal(length), "\r\nState=", Decimal(state));
        auto finish = [&](std::int32_t result) {
            if (TraceOn()) {
                UTLTrace({"UTLGetSessions Exit\r\nList=", buffer != nullptr ? buffer : "", "Ret Code=",
                          Decimal(result)});
            }
            return result;
        };
        if (buffer == nullptr || length < 2) return finish(UTL_INVALID_PARAMETER);
        std::memset(buffer, 0, static_cast<std::size_t>(length));
        Listing listing(buffer, length);
        std::int32_t count = 0;
        if (state == 1 || state == 4) {
            const trv::platform::ConfiguredSessions configured = GetConfiguredSessions();
            for (int i = 0; i < 26; ++i) {
                const std::string& profile = configured.profiles[static_cast<std::size_t>(i)];
                if (profile.empty()) continue;
                if (state == 1) listing.Append(static_cast<char>('A' + i), profile);
                ++count;
            }
            return finish(state == 1 ? listing.Finish() : count);
        }
        const bool lists = state == 2 || state == 3 || state == 11 || state == 12;
        for (const trvQMXSessionEntry& entry : RunningSessions()) {
            const std::uint32_t bits = entry.status & kRunningBits;
            if ((state == 2 || state == 3) && bits == kRunningListed) {
                listing.Append(entry.short_name, GetSessionLongName(entry.short_name));
            } else if (state == 12 && bits == kRunningConnected) {
                listing.Append(entry.short_name, GetSessionLongName(entry.short_name));
            } else if (((state == 5 || state == 6) && bits == kRunningListed) ||
                       (state == 15 && bits == kRunningConnected)) {
                ++count;
            }
        }
        return finish(lists ? listing.Finish() : count);
    });
}

std::int32_t TRVHA64_CALL UTLListSessions(trvUTLClient client, char* buffer, std::int32_t length, const char* title,
                                          std::int32_t type) {
    return Guarded([&] {
        TraceEnter("UTLListSessions", client, "\r\nBuffer Length=", Decimal(length), "\r\nTitle=", Text(title),
                   "\r\nType=", Decimal(type));
        auto finish = [&](std::int32_t result) {
            if (TraceOn()) {
                UTLTrace({"UTLListSessions Exit\r\nList=", result > 0 ? buffer : "", "\r\nRet Code=",
                          Decimal(result)});
            }
            return result;
        };
        if (buffer == nullptr || length < kListSessionsMinimum) return finish(UTL_INVALID_PARAMETER);
        // Each entry is shown as its letter, a blank, then the item from its
        // second character on (the item being letter, blank, text).
        std::vector<std::string> entries;
        auto add = [&](char letter, const std::string& text) {
            const std::string item = std::string(1, letter) + " " + text;
            entries.push_back(std::string(1, letter) + " " + item.substr(1));
        };
        if (type == 1) {
            const trv::platform::ConfiguredSessions configured = GetConfiguredSessions();
            for (int i = 0; i < 26; ++i) {
                const std::string& profile = configured.profiles[static_cast<std::size_t>(i)];
                if (!profile.empty()) add(static_cast<char>('A' + i), profile);
            }
        } else {
            const std::vector<trvQMXSessionEntry> running = RunningSessions();
            if (!running.empty()) std::memset(buffer, 0, static_cast<std::size_t>(length));
            const bool listed = type == 2 || type == 3 || type == 4 || type == 11 || type == 12;
            for (const trvQMXSessionEntry& entry : running) {
                if (listed && (entry.status & kRunningBits) == kRunningConnected) {
                    add(entry.short_name, GetSessionLongName(entry.short_name));
                }
            }
        }
        const int chosen = trv::platform::ChooseSession(client, title != nullptr ? title : "", entries,
                                                        trv::UnattendedMode(), TraceListSessionsStep);
        if (chosen < 0 || static_cast<std::size_t>(chosen) >= entries.size()) return finish(0);
        CopyText(buffer, static_cast<std::size_t>(length), entries[static_cast<std::size_t>(chosen)].c_str());
        return finish(static_cast<std::int32_t>(std::strlen(buffer)));
    });
}

std::int32_t TRVHA64_CALL UTLGetParameter(trvUTLClient client, std::int32_t index) {
    return Guarded([&] {
        TraceEnter("UTLGetParameter", client, "\r\nParamIndex=", Decimal(index));
        const UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr || index < 0 || index >= kParameterCount) {
            return TraceExit("UTLGetParameter", UTL_INVALID_PARAMETER);
        }
        return TraceExit("UTLGetParameter", static_cast<std::int32_t>(record->parameters[index]));
    });
}

std::int32_t TRVHA64_CALL UTLSetParameter(trvUTLClient client, std::int32_t index, std::int32_t setting,
                                          const char* escape) {
    return Guarded([&] {
        TraceEnter("UTLSetParameter", client, "\r\nIndex=", Decimal(index), "\r\nSetting=", Decimal(setting),
                   "\r\nEsc=", Text(escape));
        UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr) return TraceExit("UTLSetParameter", UTL_SYSTEM_ERROR);
        std::string keyword;
        std::uint32_t stored = 0;
        if (!ParameterKeyword(index, setting, escape, keyword, stored)) {
            return TraceExit("UTLSetParameter", UTL_INVALID_PARAMETER);
        }
        UTLConnectPS(client, record);
        std::int32_t result = UTL_SUCCESS;
        if (!keyword.empty()) {
            std::vector<char> data(keyword.begin(), keyword.end());
            data.push_back(0);
            result = Converted(CallEHLLAPI(HA_SET_SESSION_PARMS, data.data(),
                                           static_cast<std::uint16_t>(keyword.size()), 0, nullptr));
        }
        if (result != UTL_SUCCESS) return TraceExit("UTLSetParameter", result);
        const std::int32_t previous = static_cast<std::int32_t>(record->parameters[index]);
        record->parameters[index] = stored;
        return TraceExit("UTLSetParameter", previous);
    });
}

}  // extern "C"
