// The data strings of the EHLLAPI functions whose layout the library writes
// or parses: one record per layout, at the byte offsets a caller's buffer
// has them (little-endian integers, single-byte characters). Both the caller
// side (src/ehllapi) and the emulator side (src/bridge) use these records;
// nothing else knows an offset into a caller's data string. The records that
// applications build or parse are the public header's (include/trvha64.h);
// the asserts below pin their layout, the window records live here.
//
// The sizes here are also what the library reads from or writes into a
// caller's buffer for these functions (include/trvha64.h states them per
// function).
#pragma once

#include <cstddef>
#include <cstdint>

#include "trvha64.h"

namespace trv {

// 10 Query Sessions: one entry per established session (the emulator side
// writes it into Data; the caller side copies whole entries).
using QuerySessionsEntry = ::trvQuerySessionsEntry;
static_assert(sizeof(QuerySessionsEntry) == 16);
static_assert(offsetof(QuerySessionsEntry, LongName) == 4);
static_assert(offsetof(QuerySessionsEntry, SessionType) == 12);
static_assert(offsetof(QuerySessionsEntry, PSSize) == 14);

// 20 Query System: the reply the library writes (36 bytes).
using QuerySystemReply = ::trvQuerySystemReply;
static_assert(sizeof(QuerySystemReply) == 36);
static_assert(offsetof(QuerySystemReply, Level) == 1);
static_assert(offsetof(QuerySystemReply, BuildDate) == 3);
static_assert(offsetof(QuerySystemReply, Reserved9) == 9);
static_assert(offsetof(QuerySystemReply, HardwareBase) == 12);
static_assert(offsetof(QuerySystemReply, ProgramType) == 13);
static_assert(offsetof(QuerySystemReply, Reserved14) == 14);
static_assert(offsetof(QuerySystemReply, Reserved18) == 18);
static_assert(offsetof(QuerySystemReply, Reserved19) == 19);
static_assert(offsetof(QuerySystemReply, CodePage) == 30);
static_assert(offsetof(QuerySystemReply, Reserved32) == 32);

// 22 Query Session Status: the reply the emulator writes (20 bytes), in the
// 32-bit layout: the short name is followed by three reserved bytes.
using QuerySessionStatusReply = ::trvQuerySessionStatusReply;
static_assert(sizeof(QuerySessionStatusReply) == 20);
static_assert(offsetof(QuerySessionStatusReply, LongName) == 4);
static_assert(offsetof(QuerySessionStatusReply, SessionType) == 12);
static_assert(offsetof(QuerySessionStatusReply, Characteristics) == 13);
static_assert(offsetof(QuerySessionStatusReply, Rows) == 14);
static_assert(offsetof(QuerySessionStatusReply, Columns) == 16);
static_assert(offsetof(QuerySessionStatusReply, CodePage) == 18);

// 22 Query Session Status in the packed 16-bit layout of the WinHLLAPI
// entries (ordinals 801 and 116), which the parameter conversion fills from
// the reply above: 18 bytes, the 16-bit fields at odd offsets.
using QuerySessionStatusReply16 = ::trvQuerySessionStatusReply16;
static_assert(sizeof(QuerySessionStatusReply16) == 18);
static_assert(offsetof(QuerySessionStatusReply16, LongName) == 1);
static_assert(offsetof(QuerySessionStatusReply16, SessionType) == 9);
static_assert(offsetof(QuerySessionStatusReply16, Characteristics) == 10);
static_assert(offsetof(QuerySessionStatusReply16, Rows) == 11);
static_assert(offsetof(QuerySessionStatusReply16, Columns) == 13);
static_assert(offsetof(QuerySessionStatusReply16, CodePage) == 15);

// 103 Query Window Coordinates: the reply (20 bytes).
struct WindowCoordinatesReply {
    char ShortName;             // 0
    std::uint8_t Reserved1[3];  // 1
    std::int32_t XLeft;         // 4
    std::int32_t YBottom;       // 8
    std::int32_t XRight;        // 12
    std::int32_t YTop;          // 16
};
static_assert(sizeof(WindowCoordinatesReply) == 20);
static_assert(offsetof(WindowCoordinatesReply, XLeft) == 4);
static_assert(offsetof(WindowCoordinatesReply, YBottom) == 8);
static_assert(offsetof(WindowCoordinatesReply, XRight) == 12);
static_assert(offsetof(WindowCoordinatesReply, YTop) == 16);

// 104 Window Status: the request and its answer (28 bytes, one layout both
// ways). Option 3 reuses the geometry fields: FontWidth/FontHeight overlay X,
// the two 1s overlay Width, and the window handle overlays Height and
// ZOrder (bytes 20-27).
struct WindowStatusRecord {
    char ShortName;             // 0
    std::uint8_t Reserved1[3];  // 1
    std::uint8_t Option;        // 4: 1 set, 2 query, 3 extended query
    std::uint8_t Reserved5;     // 5
    std::uint16_t Flags;        // 6: the WindowStatusFlag bits
    std::int32_t X;             // 8: left edge (option 3: u16 at 8 and at 10)
    std::int32_t Y;             // 12: top edge
    std::int32_t Width;         // 16 (option 3: u16 1 at 16 and at 18)
    std::int32_t Height;        // 20 (option 3: window handle at 20-27)
    std::int32_t ZOrder;        // 24: set, with kWindowZOrder: 3 front, 4 away from it
};
static_assert(sizeof(WindowStatusRecord) == 28);
static_assert(offsetof(WindowStatusRecord, Option) == 4);
static_assert(offsetof(WindowStatusRecord, Flags) == 6);
static_assert(offsetof(WindowStatusRecord, X) == 8);
static_assert(offsetof(WindowStatusRecord, Y) == 12);
static_assert(offsetof(WindowStatusRecord, Width) == 16);
static_assert(offsetof(WindowStatusRecord, Height) == 20);
static_assert(offsetof(WindowStatusRecord, ZOrder) == 24);

inline constexpr std::uint8_t kWindowStatusSet = 1;
inline constexpr std::uint8_t kWindowStatusQuery = 2;
inline constexpr std::uint8_t kWindowStatusQueryExtended = 3;
inline constexpr std::size_t kWindowStatusFontWidthOffset = 8;
inline constexpr std::size_t kWindowStatusFontHeightOffset = 10;
inline constexpr std::size_t kWindowStatusOnesOffset = 16;
inline constexpr std::size_t kWindowStatusHandleOffset = 20;
inline constexpr std::int32_t kWindowZOrderFront = 3;
inline constexpr std::int32_t kWindowZOrderAway = 4;

// The flags of a set request and of a query's answer.
namespace window_flags {
inline constexpr std::uint16_t kSize = 0x0001;
inline constexpr std::uint16_t kMove = 0x0002;
inline constexpr std::uint16_t kZOrder = 0x0004;
inline constexpr std::uint16_t kShow = 0x0008;        // query: visible
inline constexpr std::uint16_t kHide = 0x0010;        // query: not visible
inline constexpr std::uint16_t kActivate = 0x0080;    // query: foreground window
inline constexpr std::uint16_t kDeactivate = 0x0100;  // query: not the foreground window
inline constexpr std::uint16_t kMinimize = 0x0400;
inline constexpr std::uint16_t kMaximize = 0x0800;
inline constexpr std::uint16_t kRestore = 0x1000;
}  // namespace window_flags

// 105, 106 Change Switch List / Window Name: byte 4 the request, the name
// from byte 5 (68 bytes in all).
inline constexpr std::size_t kWindowNameRequestOffset = 4;
inline constexpr std::size_t kWindowNameTextOffset = 5;
inline constexpr std::size_t kWindowNameRequestSize = 68;
inline constexpr std::uint8_t kWindowNameSet = 1;
inline constexpr std::uint8_t kWindowNameReset = 2;

// 13 Copy OIA: the status line as a caller receives it (103 bytes). The
// emulator may deliver more; only these bytes reach the caller.
using OIAReply = ::trvOIAReply;
static_assert(sizeof(OIAReply) == 103);
static_assert(offsetof(OIAReply, Image) == 1);
static_assert(offsetof(OIAReply, Indicators) == 81);

// The start requests of 23, 41 and 50. The basic forms end after the form
// byte; the message and event forms carry the handle field and, for 23 and
// 50, the type byte.
using NotifyRequest = ::trvNotifyRequest;
static_assert(sizeof(NotifyRequest) == 17);
static_assert(offsetof(NotifyRequest, Form) == 4);
static_assert(offsetof(NotifyRequest, Handle) == 8);
static_assert(offsetof(NotifyRequest, Type) == 16);
// The bytes of a request that ends after its form byte (23 and 50 basic).
constexpr std::size_t kBasicNotifyRequestSize = offsetof(NotifyRequest, Form) + 1;
// The bytes of a 41 request (either form): up to the end of the handle field.
constexpr std::size_t kCloseInterceptRequestSize = offsetof(NotifyRequest, Type);

// 51 Get Key: what the library writes (at most 10 bytes).
using GetKeyReply = ::trvGetKeyReply;
static_assert(sizeof(GetKeyReply) == 10);
static_assert(offsetof(GetKeyReply, Kind) == 4);
static_assert(offsetof(GetKeyReply, Key) == 5);

// 52 Post Intercept Status: the request (5 bytes).
using PostInterceptStatusRequest = ::trvPostInterceptStatusRequest;
static_assert(sizeof(PostInterceptStatusRequest) == 5);
static_assert(offsetof(PostInterceptStatusRequest, Status) == 4);

// 31 Find Field Position and 32 Find Field Length: the field code.
using FieldCodeRequest = ::trvFieldCodeRequest;
static_assert(sizeof(FieldCodeRequest) == 2);

// 99 Convert Position or Row/Column: the request (5 bytes).
using ConvertPositionRequest = ::trvConvertPositionRequest;
static_assert(sizeof(ConvertPositionRequest) == 5);
static_assert(offsetof(ConvertPositionRequest, Conversion) == 4);

}  // namespace trv
