// The converters of the 16-bit parameter layouts, one per function group.
//
// Every converter reads and writes the caller's string only within the bytes
// its layout names, and only after checking that the caller's length covers
// them (where the length is a size) or that the string exists (where the
// length carries a value, as for Pause and Convert Position). The checks
// cover every byte a converter touches, which for Query System (33 bytes),
// the notification starts 23 and 50 (7), Query Window Coordinates (20) and
// 126/127 (20) is more than a bare minimum would guard.
#include "compat/conversion.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "protocol/caller_data.h"
#include "shared/message_boxes.h"
#include "shared/trace.h"
#include "trvha64.h"

namespace trv::compat {
namespace {

constexpr std::uint32_t kWarningIcon = 48;

// Functions of the 32-bit interface without an HA_ name in the public
// header: the extended window and macro functions 120 to 127.
constexpr std::uint32_t kFunction120 = 120;
constexpr std::uint32_t kFunction121 = 121;
constexpr std::uint32_t kFunction122 = 122;
constexpr std::uint32_t kFunction123 = 123;
constexpr std::uint32_t kFunction124 = 124;
constexpr std::uint32_t kFunction125 = 125;
constexpr std::uint32_t kFunction126 = 126;
constexpr std::uint32_t kFunction127 = 127;

// Query Sessions: one entry in each layout.
constexpr std::uint32_t kCallerSessionEntry = 12;
constexpr std::uint32_t kConvertedSessionEntry = 16;

// Window Status option of the extended query.
constexpr std::uint8_t kExtendedWindowStatus = 3;
constexpr std::uint8_t kSetWindowStatus = 1;

// Change Switch/Window Name: the text at caller byte 2 goes to converted 5,
// at most this many bytes with its NUL.
constexpr std::size_t kNameTextLimit = 61;

std::uint16_t ReadU16(const std::uint8_t* at) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}
void WriteU16(std::uint8_t* at, std::uint16_t value) { std::memcpy(at, &value, sizeof value); }
std::uint32_t ReadU32(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}
void WriteU32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, sizeof value); }
void WriteU64(std::uint8_t* at, std::uint64_t value) { std::memcpy(at, &value, sizeof value); }

bool IsMessageForm(std::uint8_t form) { return form == 'M' || form == 'm'; }

[[noreturn]] void Raise(FaultCode code) { throw CompatFault{code}; }

// A caller length below what the layout needs: return code 2, fault 5.
void NeedLength(ConversionRecord& record, std::uint32_t bytes) {
    if (record.callerData == nullptr || record.callerLength < bytes) {
        record.returnCode = HLLAPI_RC_BAD_PARAMETER;
        Raise(FaultCode::data_too_short);
    }
}

// A layout that reads the caller's string without the length being its size.
void NeedData(ConversionRecord& record) { NeedLength(record, 0); }

// Uses the zeroed local data as the converted string of `bytes` bytes.
void UseLocal(ConversionRecord& record, std::uint32_t bytes) {
    record.dataInUse = record.localData;
    record.length = bytes;
}

void ConvertQuerySessions(ConversionRecord& record, bool in) {
    if (in) {
        record.entryCount = record.callerLength / kCallerSessionEntry;
        const std::uint32_t converted =
            record.entryCount * kConvertedSessionEntry + record.callerLength % kCallerSessionEntry;
        if (record.entryCount > 0) NeedLength(record, record.entryCount * kCallerSessionEntry);
        record.length = converted;
        record.dataInUse = nullptr;
        if (converted == 0) return;
        record.allocatedData.reset(new (std::nothrow) std::uint8_t[converted]());
        if (!record.allocatedData) {
            record.returnCode = HLLAPI_RC_SYSTEM_ERROR;
            Raise(FaultCode::null_word);
        }
        record.dataInUse = record.allocatedData.get();
        return;
    }
    const std::uint8_t* converted = record.allocatedData.get();
    if (converted != nullptr && record.callerData != nullptr) {
        for (std::uint32_t i = 0; i < record.entryCount; ++i) {
            std::uint8_t* to = record.callerData + i * kCallerSessionEntry;
            const std::uint8_t* from = converted + i * kConvertedSessionEntry;
            to[0] = from[0];
            std::memcpy(to + 1, from + 4, 8);
            to[9] = from[12];
            std::memcpy(to + 10, from + 14, 2);
        }
    }
    record.callerLength = record.length;
    record.allocatedData.reset();
}

// 23 and 50 share the packed notification layout: letter, form, a 16-bit
// window handle at 2, the option at 6.
void NotificationIn(ConversionRecord& record) {
    const std::uint8_t* caller = record.callerData;
    std::uint8_t* converted = record.localData;
    converted[0] = caller[0];
    converted[4] = caller[1];
    WriteU64(converted + 8, ReadU16(caller + 2));
    converted[16] = caller[6];
}

void ConvertWindowStatus(ConversionRecord& record, bool in) {
    std::uint8_t* caller = record.callerData;
    std::uint8_t* converted = record.localData;
    if (in) NeedLength(record, 2);
    const bool extended = caller[1] == kExtendedWindowStatus;
    if (in) {
        NeedLength(record, extended ? 18 : 16);
        UseLocal(record, extended ? 32 : 28);
        converted[0] = caller[0];
        converted[4] = caller[1];
        if (extended) return;
        if (caller[1] == kSetWindowStatus) WriteU16(converted + 6, ReadU16(caller + 2));
        for (int i = 0; i < 4; ++i) {
            const auto value = static_cast<std::int16_t>(ReadU16(caller + 4 + 2 * i));
            WriteU32(converted + 8 + 4 * i, static_cast<std::uint32_t>(static_cast<std::int32_t>(value)));
        }
        std::memcpy(converted + 24, caller + 12, 4);
        return;
    }
    if (extended) {
        std::memcpy(caller + 2, converted + 6, 14);
        std::memcpy(caller + 16, converted + 24, 2);
        return;
    }
    std::memcpy(caller + 2, converted + 6, 2);
    for (int i = 0; i < 4; ++i) WriteU16(caller + 4 + 2 * i, static_cast<std::uint16_t>(ReadU32(converted + 8 + 4 * i)));
    std::memcpy(caller + 12, converted + 24, 4);
}

// Runs the function's converter in the record's direction. Returns false for
// a function without a converter.
bool RunConverter(ConversionRecord& record) {
    const bool in = record.direction == 0;
    std::uint8_t* caller = record.callerData;
    std::uint8_t* converted = record.localData;
    switch (record.function) {
        case HA_CONNECT_PS:
        case HA_QUERY_HOST_UPDATE:
        case HA_STOP_HOST_NOTIFY:
        case HA_QUERY_CLOSE_INTERCEPT:
        case HA_STOP_CLOSE_INTERCEPT:
        case HA_STOP_KEY_INTERCEPT:
        case HA_CONNECT_PM_SRVCS:
            if (in) {
                NeedData(record);
                UseLocal(record, 4);
                converted[0] = caller[0];
            }
            return true;
        case HA_QUERY_SESSIONS:
            ConvertQuerySessions(record, in);
            return true;
        case HA_COPY_OIA:
            if (in) {
                NeedLength(record, 103);
                UseLocal(record, 104);
            } else {
                std::memcpy(caller, converted, 103);
            }
            return true;
        case HA_STORAGE_MGR:
            if (in) {
                NeedLength(record, 8);
                UseLocal(record, 8);
                std::memcpy(converted, caller, 8);
            } else {
                std::memcpy(caller, converted, 8);
            }
            return true;
        case HA_PAUSE:
            if (in) UseLocal(record, record.callerLength);
            return true;
        case HA_QUERY_SYSTEM:
            if (in) {
                NeedLength(record, 33);
                UseLocal(record, 36);
                std::memset(converted, ' ', 36);
            } else {
                std::memcpy(caller, converted, 29);
                std::memcpy(caller + 30, converted + 30, 2);
                caller[32] = converted[32];
            }
            return true;
        case HA_QUERY_SESSION_STATUS:
            if (in) {
                NeedLength(record, sizeof(QuerySessionStatusReply16));
                UseLocal(record, sizeof(QuerySessionStatusReply));
                converted[0] = caller[0];
            } else {
                // Field by field into the packed 16-bit record; its reserved
                // last byte keeps what the caller had there.
                QuerySessionStatusReply reply;
                std::memcpy(&reply, converted, sizeof reply);
                QuerySessionStatusReply16 packed;
                std::memcpy(&packed, caller, sizeof packed);
                std::memcpy(packed.LongName, reply.LongName, sizeof packed.LongName);
                packed.SessionType = reply.SessionType;
                packed.Characteristics = reply.Characteristics;
                packed.Rows = reply.Rows;
                packed.Columns = reply.Columns;
                packed.CodePage = reply.CodePage;
                std::memcpy(caller, &packed, sizeof packed);
            }
            return true;
        case HA_START_HOST_NOTIFY:
        case HA_START_KEY_INTERCEPT: {
            const bool hostNotify = record.function == HA_START_HOST_NOTIFY;
            if (in) {
                NeedLength(record, 7);
                UseLocal(record, hostNotify ? 24 : record.callerLength);
                NotificationIn(record);
            } else if (IsMessageForm(hostNotify ? caller[1] : converted[4])) {
                std::memcpy(caller + 2, converted + 8, 2);
            }
            return true;
        }
        case HA_START_CLOSE_INTERCEPT:
            if (in) {
                NeedLength(record, 7);
                UseLocal(record, 16);
                converted[0] = caller[0];
                WriteU64(converted + 8, ReadU16(caller + 2));
                if (record.callerLength >= 8) converted[4] = caller[6];
            } else if (record.callerLength >= 8 && IsMessageForm(caller[6])) {
                std::memcpy(caller + 2, converted + 8, 2);
            }
            return true;
        case HA_GET_KEY:
            if (in) {
                NeedLength(record, 8);
                UseLocal(record, 12);
                converted[0] = caller[0];
            } else {
                caller[1] = converted[4];
                std::memcpy(caller + 2, converted + 5, 6);
            }
            return true;
        case HA_POST_INTERCEPT_STATUS:
            if (in) {
                NeedLength(record, 2);
                UseLocal(record, 8);
                converted[0] = caller[0];
                converted[4] = caller[1];
            }
            return true;
        case HA_LOCK_PS:
        case HA_LOCK_PMSVC:
            if (in) {
                NeedLength(record, 3);
                UseLocal(record, 8);
                converted[0] = caller[0];
                converted[4] = caller[1];
                converted[5] = caller[2];
            }
            return true;
        case HA_CONVERT_POS_ROW_COL:
            if (in) {
                NeedData(record);
                UseLocal(record, record.callerLength);
                converted[0] = caller[0];
                converted[4] = caller[1];
            } else {
                record.callerLength = record.length;
            }
            return true;
        case HA_DISCONNECT_PM_SRVCS:
            if (in) {
                NeedLength(record, 1);
                UseLocal(record, 4);
                converted[0] = caller[0];
            }
            return true;
        case HA_QUERY_WINDOW_COORDS:
            if (in) {
                NeedLength(record, 20);
                UseLocal(record, 20);
                converted[0] = caller[0];
            } else {
                std::memcpy(caller + 4, converted + 4, 16);
            }
            return true;
        case HA_PM_WINDOW_STATUS:
            ConvertWindowStatus(record, in);
            return true;
        case HA_CHANGE_SWITCH_NAME:
        case HA_CHANGE_WINDOW_NAME:
            if (in) {
                NeedLength(record, 2);
                UseLocal(record, 68);
                converted[0] = caller[0];
                converted[4] = caller[1];
                // The text ends at its NUL, the caller's length or the limit,
                // whichever comes first; the converted copy always ends in one.
                const std::size_t room = std::min<std::size_t>(record.callerLength - 2, kNameTextLimit - 1);
                const auto* end = static_cast<const std::uint8_t*>(std::memchr(caller + 2, 0, room));
                const std::size_t textBytes = end != nullptr ? static_cast<std::size_t>(end - (caller + 2)) : room;
                std::memcpy(converted + 5, caller + 2, textBytes);
                converted[5 + textBytes] = 0;
            }
            return true;
        case kFunction120:
            if (in) {
                NeedLength(record, 32);
                UseLocal(record, 32);
                converted[0] = caller[0];
                std::memcpy(converted + 8, caller + 8, 8);
                std::memcpy(converted + 16, caller + 16, 2);
                std::memcpy(converted + 24, caller + 24, 8);
            } else {
                std::memcpy(caller + 16, converted + 16, 2);
            }
            return true;
        case kFunction121:
            if (in) {
                NeedLength(record, 4);
                UseLocal(record, 8);
                converted[0] = caller[0];
                std::memcpy(converted + 4, caller + 2, 2);
            }
            return true;
        case kFunction122:
            if (in) {
                NeedLength(record, 10);
                UseLocal(record, 20);
                converted[0] = caller[0];
            } else {
                for (int i = 0; i < 4; ++i) std::memcpy(caller + 2 + 2 * i, converted + 4 + 4 * i, 2);
            }
            return true;
        case kFunction123:
        case kFunction124:
            if (in) {
                NeedLength(record, 16);
                UseLocal(record, 16);
                WriteU32(converted, ReadU16(caller));
                if (record.function == kFunction124) std::memcpy(converted + 8, caller + 8, 8);
            } else if (record.function == kFunction123) {
                std::memcpy(caller + 8, converted + 8, 8);
            }
            return true;
        case kFunction125:
            if (in) {
                NeedLength(record, 24);
                UseLocal(record, 32);
                converted[0] = caller[0];
                converted[4] = caller[1];
                std::memcpy(converted + 8, caller + 2, 2);
            } else {
                std::memcpy(caller + 4, converted + 10, 2);
                std::memcpy(caller + 8, converted + 16, 8);
                std::memcpy(caller + 16, converted + 24, 2);
                std::memcpy(caller + 18, converted + 28, 2);
            }
            return true;
        case kFunction126:
        case kFunction127:
            if (in) {
                NeedLength(record, 20);
                UseLocal(record, 32);
                converted[0] = caller[0];
                converted[4] = caller[1];
                std::memcpy(converted + 6, caller + 2, 2);
                std::memcpy(converted + 8, caller + 8, 8);
                std::memcpy(converted + 16, caller + 16, 2);
                WriteU64(converted + 24, ReadU16(caller + 18));
            } else {
                std::memcpy(caller + 16, converted + 16, 2);
                std::memcpy(caller + 18, converted + 24, 2);
            }
            return true;
        default:
            return false;
    }
}

void CheckWords(const std::uint16_t* function, const std::uint16_t* length, const std::uint16_t* returnCode) {
    if (returnCode == nullptr) Raise(FaultCode::null_return_code);
    if (function == nullptr || length == nullptr) Raise(FaultCode::null_word);
}

}  // namespace

void ConvertIn(ConversionRecord& record, std::uint16_t* function, std::uint8_t* data,
               std::uint16_t* length, std::uint16_t* returnCode) {
    record.dataInUse = record.localData;
    std::memset(record.localData, 0, sizeof record.localData);
    record.direction = 0;
    CheckWords(function, length, returnCode);
    record.function = *function;
    record.callerLength = *length;
    record.returnCode = *returnCode;
    record.callerData = data;
    if (!RunConverter(record)) {
        record.dataInUse = data;
        record.length = record.callerLength;
    }
}

void ConvertOut(ConversionRecord& record, std::uint16_t* function, std::uint8_t* data,
                std::uint16_t* length, std::uint16_t* returnCode) {
    record.direction = 1;
    CheckWords(function, length, returnCode);
    record.callerData = data;
    if (!RunConverter(record)) record.callerLength = record.length;
    *function = static_cast<std::uint16_t>(record.function);
    *length = static_cast<std::uint16_t>(record.callerLength);
    *returnCode = static_cast<std::uint16_t>(record.returnCode);
}

std::int32_t CallConverted(ConversionRecord& record, EHLLAPIEntry entry) {
    auto function = static_cast<std::int32_t>(record.function);
    auto length = static_cast<std::int32_t>(record.length);
    auto returnCode = static_cast<std::int32_t>(record.returnCode);
    const std::int32_t result = entry(&function, reinterpret_cast<char*>(record.dataInUse), &length, &returnCode);
    record.function = static_cast<std::uint32_t>(function);
    record.length = static_cast<std::uint32_t>(length);
    record.returnCode = static_cast<std::uint32_t>(returnCode);
    return result;
}

void ShowInvalidReturnCodePointerBox() {
    ShowLibraryMessageBox("Exception in WHLLAPI.DLL", "Invalid Return Code Pointer. Parameter cannot be NULL",
                          kWarningIcon);
}

std::int32_t ConvertedCall(EHLLAPIEntry entry, std::uint16_t* function, std::uint8_t* data,
                           std::uint16_t* length, std::uint16_t* returnCode) noexcept {
    try {
        ConversionRecord record;
        ConvertIn(record, function, data, length, returnCode);
        CallConverted(record, entry);
        ConvertOut(record, function, data, length, returnCode);
        return *returnCode;
    } catch (const CompatFault& fault) {
        TRV_TRACE("WinHLLAPI conversion - exception %d", static_cast<int>(fault.code));
        switch (fault.code) {
            case FaultCode::data_too_short:
                *returnCode = HLLAPI_RC_BAD_PARAMETER;
                return HLLAPI_RC_BAD_PARAMETER;
            case FaultCode::null_return_code:
                try {
                    ShowInvalidReturnCodePointerBox();
                } catch (...) {
                }
                return HLLAPI_RC_BAD_PARAMETER;
            default:
                break;
        }
    } catch (...) {
        TRV_TRACE("WinHLLAPI conversion - unexpected failure");
    }
    if (returnCode != nullptr) *returnCode = HLLAPI_RC_SYSTEM_ERROR;
    return HLLAPI_RC_SYSTEM_ERROR;
}

}  // namespace trv::compat
