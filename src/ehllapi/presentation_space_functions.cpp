// The caller's side of the presentation-space and field functions: each
// checks that a session is addressed and fixes how many bytes of the
// caller's data travel with the request; the emulator does the work, and
// the send step copies the reply back by the function's rows of the reply
// tables. The presentation-space position travels in the return-code word.
// A request carries only the bytes its data string has (include/trvha64.h):
// Copy OIA none, the field code two, Convert Position five.
#include "ehllapi/call_to_session.h"
#include "ehllapi/dispatcher.h"
#include "protocol/caller_data.h"
#include "tables/application_block.h"

namespace trv::handlers {
namespace {

// How a function's request is formed.
enum class RequestSize : std::uint8_t {
    none,          // no data travels
    callerLength,  // the caller's length
    fixed,         // a fixed count of bytes
};

struct PresentationSpaceRow {
    std::int32_t function;
    RequestSize size;
    std::int64_t fixedBytes;
    bool namedInData;  // the session is named by data byte 0, not the connection
};

constexpr PresentationSpaceRow kRows[] = {
    {HA_SENDKEY, RequestSize::callerLength, 0, false},
    {HA_COPY_PS, RequestSize::none, 0, false},
    {HA_SEARCH_PS, RequestSize::callerLength, 0, false},
    {HA_QUERY_CURSOR_LOC, RequestSize::none, 0, false},
    {HA_COPY_PS_TO_STR, RequestSize::none, 0, false},
    {HA_COPY_OIA, RequestSize::none, 0, false},
    {HA_QUERY_FIELD_ATTR, RequestSize::none, 0, false},
    {HA_COPY_STR_TO_PS, RequestSize::callerLength, 0, false},
    {HA_SEARCH_FIELD, RequestSize::callerLength, 0, false},
    {HA_FIND_FIELD_POS, RequestSize::fixed, sizeof(FieldCodeRequest), false},
    {HA_FIND_FIELD_LEN, RequestSize::fixed, sizeof(FieldCodeRequest), false},
    {HA_COPY_STR_TO_FIELD, RequestSize::callerLength, 0, false},
    {HA_COPY_FIELD_TO_STR, RequestSize::callerLength, 0, false},
    {HA_SET_CURSOR, RequestSize::none, 0, false},
    {HA_QUERY_ADD_FIELD_ATTR, RequestSize::none, 0, false},
    {HA_CONVERT_POS_ROW_COL, RequestSize::fixed, sizeof(ConvertPositionRequest), true},
};

const PresentationSpaceRow* RowOf(std::int32_t function) {
    for (const PresentationSpaceRow& row : kRows) {
        if (row.function == function) return &row;
    }
    return nullptr;
}

}  // namespace

HandlerOutcome PresentationSpace(ParserCall& call) {
    const CallerParameters& caller = call.caller;
    const PresentationSpaceRow* row = RowOf(caller.function);
    if (row == nullptr) return HLLAPI_RC_UNSUPPORTED;

    int session = -1;
    if (row->namedInData) {
        const char name[2] = {caller.FirstDataByte(), '\0'};
        session = SessionIndex(name);
        if (session < 0) return HLLAPI_RC_NO_SESSION;
    } else {
        session = ConnectedSession(call.block);
        // Copy Presentation Space has nowhere to put the screen without a
        // buffer; that is reported before a missing connection.
        if (caller.function == HA_COPY_PS && caller.data == nullptr) return HLLAPI_RC_BAD_PARAMETER;
        if (session < 0) return HLLAPI_RC_NO_SESSION;
    }

    call.session = session;
    switch (row->size) {
        case RequestSize::none:
            call.requestBytes = 0;
            break;
        case RequestSize::callerLength:
            call.requestBytes = caller.LengthOrZero();
            break;
        case RequestSize::fixed:
            call.requestBytes = row->fixedBytes;
            break;
    }
    return kSendToSession;
}

}  // namespace trv::handlers
